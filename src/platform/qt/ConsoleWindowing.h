#pragma once

#include "platform/IWindowing.h"
#include "platform/qt/BuiltIdentity.h"

#include <QList>
#include <QObject>

#include <csignal>

class TerminationSignals;

// The desktop services for a run without a window or a display: error reports go to standard
// error, no single-instance lock is taken, and the end signals (SIGTERM, SIGINT and SIGHUP
// unless told) become the end request.
class ConsoleWindowing : public QObject, public BuiltIdentity<IWindowing>
{
    Q_OBJECT
public:
    explicit ConsoleWindowing(QList<int> endSignals = {SIGTERM, SIGINT, SIGHUP});

    void showErrorReport(const QString& text) override;
    void setReportWatcher(std::function<void(bool opening)> watcher) override;
    QString commandLine() const override;
    // A run from a script goes beside the program in its window, never instead of it.
    bool anotherInstanceRunning() override { return false; }
    [[noreturn]] void endProcess() override;
    void setEndRequestHandler(std::function<void()> handler) override;

private:
    TerminationSignals* mTerminationSignals;
    std::function<void(bool)> mReportWatcher;
    std::function<void()> mEndRequestHandler;
};
