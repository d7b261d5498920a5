#pragma once

#include <QString>

#include <functional>

// What the program needs of the desktop besides its own widgets: the common error report,
// the command line, the single-instance test, the end of the process and the
// application's identity.
class IWindowing
{
public:
    virtual ~IWindowing() = default;

    // Shows the common error report modally; returns when the user has dismissed it. Once the
    // end of the program has been requested, reports no longer wait for anyone.
    virtual void showErrorReport(const QString& text) = 0;
    // Told with true just before a report opens and with false when it has closed.
    virtual void setReportWatcher(std::function<void(bool opening)> watcher) = 0;

    // The arguments after the program name, joined by blanks.
    virtual QString commandLine() const = 0;
    // Throws Failure when the test cannot be made; the program then runs as if alone.
    virtual bool anotherInstanceRunning() = 0;
    // Ends the process at once, with status 0.
    virtual void endProcess() = 0;
    // Called when the desktop session ends or the process is asked to terminate.
    virtual void setEndRequestHandler(std::function<void()> handler) = 0;

    virtual QString title() const = 0;
    virtual int versionMajor() const = 0;
    virtual int versionMinor() const = 0;
    virtual int versionRevision() const = 0;
    virtual QString legalCopyright() const = 0;
};
