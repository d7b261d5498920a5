#pragma once

#include "app/Identity.h"
#include "platform/IWindowing.h"
#include "platform/qt/EndNow.h"

#include <QCoreApplication>
#include <QStringList>

// What the desktop services of every real run share: the identity the program was built with,
// its command line, its end and the handlers the run sets.
class ProcessWindowing : public IWindowing
{
public:
    void setReportWatcher(std::function<void(bool opening)> watcher) override
    {
        mReportWatcher = std::move(watcher);
    }
    QString commandLine() const override
    {
        return QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));
    }
    [[noreturn]] void endProcess() override { endNow(0); }
    void setEndRequestHandler(std::function<void()> handler) override
    {
        mEndRequestHandler = std::move(handler);
    }

    QString title() const override { return identity::kTitle; }
    int versionMajor() const override { return identity::kMajor; }
    int versionMinor() const override { return identity::kMinor; }
    int versionRevision() const override { return identity::kRevision; }
    QString legalCopyright() const override { return identity::kLegalCopyright; }

protected:
    std::function<void(bool)> mReportWatcher;
    std::function<void()> mEndRequestHandler;
};
