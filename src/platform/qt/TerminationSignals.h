#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP turned into one Qt signal on the event loop. The handlers only
// write a byte to a pipe; the event loop reads it and says so.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received();

private:
    QSocketNotifier* mNotifier = nullptr;
};
