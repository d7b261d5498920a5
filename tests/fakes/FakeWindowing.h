#pragma once

#include "app/Identity.h"
#include "platform/Failure.h"
#include "platform/IWindowing.h"

#include <QStringList>

// Records error reports instead of showing them, and never ends the process.
class FakeWindowing : public IWindowing
{
public:
    void showErrorReport(const QString& text) override
    {
        if (reportWatcher)
            reportWatcher(true);
        reports.append(text);
        if (onReport)
            onReport(text);
        if (reportWatcher)
            reportWatcher(false);
    }
    void setReportWatcher(std::function<void(bool)> watcher) override { reportWatcher = std::move(watcher); }
    QString commandLine() const override { return commandLineText; }
    bool anotherInstanceRunning() override
    {
        if (instanceTestFails)
            throw Failure(failures::kPathFileAccess, QStringLiteral("Path/File access error"),
                          QStringLiteral("FakeWindowing"));
        return anotherInstance;
    }
    void endProcess() override { ++endProcessCalls; }
    void setEndRequestHandler(std::function<void()> handler) override
    {
        endRequestHandler = std::move(handler);
    }

    QString title() const override { return titleText; }
    int versionMajor() const override { return major; }
    int versionMinor() const override { return minor; }
    int versionRevision() const override { return revision; }
    QString legalCopyright() const override { return identity::kLegalCopyright; }

    // Raises the end of the session, as SIGTERM or the session manager would.
    void requestEnd()
    {
        if (endRequestHandler)
            endRequestHandler();
    }

    QStringList reports;
    std::function<void(const QString&)> onReport;
    QString commandLineText;
    bool anotherInstance = false;
    bool instanceTestFails = false;
    int endProcessCalls = 0;
    std::function<void()> endRequestHandler;
    std::function<void(bool)> reportWatcher;
    QString titleText = identity::kTitle;
    int major = identity::kMajor;
    int minor = identity::kMinor;
    int revision = identity::kRevision;
};
