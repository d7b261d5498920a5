#pragma once

#include "platform/IWindowing.h"
#include "platform/qt/BuiltIdentity.h"

#include <QList>
#include <QObject>

#include <memory>

class InstanceLock;
class QMessageBox;
class TerminationSignals;

// The desktop services over Qt: a QMessageBox for the error report, a lock in the user's
// runtime folder for the single instance, and SIGTERM, SIGINT, SIGHUP and the end of
// the desktop session turned into one end request.
class QtWindowing : public QObject, public BuiltIdentity<IWindowing>
{
    Q_OBJECT
public:
    QtWindowing();
    ~QtWindowing() override;

    void showErrorReport(const QString& text) override;
    void setReportWatcher(std::function<void(bool opening)> watcher) override;
    QString commandLine() const override;
    bool anotherInstanceRunning() override;
    [[noreturn]] void endProcess() override;
    void setEndRequestHandler(std::function<void()> handler) override;

private:
    void requestEnd();

    std::unique_ptr<InstanceLock> mInstanceLock;
    TerminationSignals* mTerminationSignals;
    std::function<void()> mEndRequestHandler;
    std::function<void(bool)> mReportWatcher;
    QList<QMessageBox*> mOpenReports;
    bool mEndRequested = false;
};
