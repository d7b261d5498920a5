#pragma once

class ISocket;
class ISettingsStore;
class IDialup;
class INotifyIcon;
class IShell;
class IWindowing;
class ISecretStore;

// The seven platform services the main window is built with.
struct PlatformServices
{
    ISocket& socket;
    ISettingsStore& settingsStore;
    IDialup& dialup;
    INotifyIcon& notifyIcon;
    IShell& shell;
    IWindowing& windowing;
    ISecretStore& secretStore;
};
