#pragma once

class ISocket;
class ISettingsStore;
class IDialup;
class INotifyIcon;
class IShell;
class IWindowing;
class ISecretStore;
class IClock;

// The platform services the main window is built with.
struct PlatformServices
{
    ISocket& socket;
    ISettingsStore& settingsStore;
    IDialup& dialup;
    INotifyIcon& notifyIcon;
    IShell& shell;
    IWindowing& windowing;
    ISecretStore& secretStore;
    IClock& clock;
};
