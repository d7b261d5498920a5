#pragma once

#include "FakePlatform.h"
#include "WindowPart.h"
#include "settings/CSettings.h"
#include "ui/frmMain.h"

#include <QPlainTextEdit>
#include <QStringList>

#include <memory>

// A main window built on the test doubles and loaded, with helpers to read its log.
struct LoadedWindow
{
    explicit LoadedWindow(std::unique_ptr<FakePlatform> platformToUse = std::make_unique<FakePlatform>())
        : platform(std::move(platformToUse))
    {
        window = std::make_unique<frmMain>(platform->services());
        window->load();
    }

    LoadedWindow(const LoadedWindow&) = delete;
    LoadedWindow& operator=(const LoadedWindow&) = delete;

    ~LoadedWindow()
    {
        window.reset();
        gSettings.discard();
    }

    // The log's messages, each without its time stamp.
    QStringList messages() const
    {
        QStringList result;
        QStringList lines = part<QPlainTextEdit>(*window, "txtLog")->toPlainText().split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        for (const QString& line : lines) {
            const qsizetype dash = line.indexOf(QStringLiteral(" - "));
            result.append(dash < 0 ? line : line.mid(dash));
        }
        return result;
    }

    // The tips passed to the notification area, in order.
    QStringList tips() const
    {
        QStringList result;
        for (const auto& request : platform->notifyIcon.requests) {
            const auto& tip = request.data.szTip;
            result.append(
                QString::fromLatin1(tip.data(), static_cast<qsizetype>(qstrnlen(tip.data(), tip.size()))));
        }
        return result;
    }

    // How many of the four start commands are enabled.
    int startCommandsEnabledCount() const
    {
        int enabled = 0;
        for (const char* name :
             {"mnuFileUpdateIP", "mnuFileGoOffline", "mnuContextUpdateIP", "mnuContextGoOffline"})
            enabled += part(*window, name)->isEnabled() ? 1 : 0;
        return enabled;
    }
    bool startCommandsEnabled() const { return startCommandsEnabledCount() == 4; }
    bool startCommandsDisabled() const { return startCommandsEnabledCount() == 0; }

    std::unique_ptr<FakePlatform> platform;
    std::unique_ptr<frmMain> window;
};
