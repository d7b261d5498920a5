#pragma once

#include "FakePlatform.h"
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
        QStringList lines = window->log()->toPlainText().split(QLatin1Char('\n'));
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

    bool startCommandsEnabled() const
    {
        const MenuTree& m = window->menus();
        return m.mnuFileUpdateIP->isEnabled() && m.mnuFileGoOffline->isEnabled() &&
               m.mnuContextUpdateIP->isEnabled() && m.mnuContextGoOffline->isEnabled();
    }
    bool startCommandsDisabled() const
    {
        const MenuTree& m = window->menus();
        return !m.mnuFileUpdateIP->isEnabled() && !m.mnuFileGoOffline->isEnabled() &&
               !m.mnuContextUpdateIP->isEnabled() && !m.mnuContextGoOffline->isEnabled();
    }

    std::unique_ptr<FakePlatform> platform;
    std::unique_ptr<frmMain> window;
};
