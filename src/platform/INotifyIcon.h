#pragma once

#include <QIcon>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class QMenu;

enum class NotifyMessage : std::uint32_t {
    Add = 0,    // NIM_ADD
    Modify = 1, // NIM_MODIFY
    Delete = 2, // NIM_DELETE
};

// The notification record: which window owns the icon, its number, which fields are valid,
// the callback message, the picture and a 64-byte tip.
struct NotifyIconData
{
    std::uint32_t cbSize = 88;
    quintptr hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    QIcon hIcon;
    std::array<char, 64> szTip{};
};

inline constexpr std::uint32_t kNifMessage = 1;
inline constexpr std::uint32_t kNifIcon = 2;
inline constexpr std::uint32_t kNifTip = 4;
inline constexpr std::uint32_t kWmMouseMove = 0x200;
inline constexpr int kWmLButtonDblClk = 0x203;
inline constexpr int kWmRButtonUp = 0x205;

// The notification-area icon service. Events on the icon come back as the record's callback
// message with a mouse event code (kWmLButtonDblClk, kWmRButtonUp).
class INotifyIcon
{
public:
    using EventHandler = std::function<void(quintptr hWnd, std::uint32_t message, int code)>;

    virtual ~INotifyIcon() = default;
    // The result is not examined by callers; a refused request changes nothing.
    virtual bool shellNotifyIcon(NotifyMessage message, const NotifyIconData& data) = 0;
    virtual void setEventHandler(EventHandler handler) = 0;
    // The popup menu, for trays that show it themselves instead of reporting the request.
    virtual void setContextMenu(QMenu* menu) = 0;

    // Whether a tray can show the icon now. The handler runs when a tray appears or goes away.
    virtual bool trayAvailable() const = 0;
    virtual void setAvailabilityHandler(std::function<void()> handler) = 0;

    // A desktop notification from the shown icon; a warning says something failed.
    virtual void showMessage(const QString& title, const QString& text, bool warning) = 0;
};
