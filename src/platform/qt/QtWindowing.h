#pragma once

#include "platform/qt/ProcessWindowing.h"

#include <QList>
#include <QObject>

#include <memory>

class InstanceLock;
class QMessageBox;

// The desktop services over Qt: a QMessageBox for the error report, a lock in the user's
// runtime folder for the single instance, and SIGTERM, SIGINT, SIGHUP and the end of
// the desktop session turned into one end request.
class QtWindowing : public QObject, public ProcessWindowing
{
    Q_OBJECT
public:
    QtWindowing();
    ~QtWindowing() override;

    void showErrorReport(const QString& text) override;
    bool anotherInstanceRunning() override;

private:
    void requestEnd();

    std::unique_ptr<InstanceLock> mInstanceLock;
    QList<QMessageBox*> mOpenReports;
    bool mEndRequested = false;
};
