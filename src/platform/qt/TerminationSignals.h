#pragma once

#include <QList>
#include <QObject>

// Signals of the system turned into a Qt signal on the event loop, with their numbers. The
// handlers only write the number to a pipe; the event loop reads it and tells every object
// that catches that signal.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QList<int> signalNumbers, QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    static void dispatch();

    QList<int> mSignals;
    bool mCatching = false;
};
