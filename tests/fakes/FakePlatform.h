#pragma once

#include "FakeClock.h"
#include "FakeDialup.h"
#include "FakeNotifyIcon.h"
#include "FakeSecretStore.h"
#include "FakeSettingsStore.h"
#include "FakeShell.h"
#include "FakeSocket.h"
#include "FakeWindowing.h"
#include "platform/PlatformServices.h"

// All seven test doubles, ready to build a main window with.
struct FakePlatform
{
    FakeSocket socket;
    FakeSettingsStore store;
    FakeDialup dialup;
    FakeNotifyIcon notifyIcon;
    FakeShell shell;
    FakeWindowing windowing;
    FakeSecretStore secrets;
    FakeClock clock;

    PlatformServices services()
    {
        return PlatformServices{socket, store, dialup, notifyIcon, shell, windowing, secrets, clock};
    }

    void storeSetting(const QString& key, const QString& text)
    {
        store.values.insert(FakeSettingsStore::path(windowing.titleText, key), text);
    }
    QString storedSetting(const QString& key) const
    {
        return store.values.value(FakeSettingsStore::path(windowing.titleText, key));
    }
};
