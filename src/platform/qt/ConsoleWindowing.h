#pragma once

#include "platform/qt/ProcessWindowing.h"

#include <QList>
#include <QObject>

#include <csignal>

// The desktop services for a run without a window or a display: error reports go to standard
// error, no single-instance lock is taken, and the end signals (SIGTERM, SIGINT and SIGHUP
// unless told) become the end request.
class ConsoleWindowing : public QObject, public ProcessWindowing
{
    Q_OBJECT
public:
    explicit ConsoleWindowing(QList<int> endSignals = {SIGTERM, SIGINT, SIGHUP});

    void showErrorReport(const QString& text) override;
    // A run from a script goes beside the program in its window, never instead of it.
    bool anotherInstanceRunning() override { return false; }
};
