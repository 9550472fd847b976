#pragma once

#include "base/Exception.h"

#include <chrono>
#include <optional>
#include <string>

struct DBusConnection;

// Desktop notices through the freedesktop notification service
// (org.freedesktop.Notifications.Notify) on the user's session bus, with libdbus: the bus's own
// library, there on every desktop with a session bus whether or not systemd runs it, and a
// plain blocking call is all a notice needs. Each object has its own private connection, closed
// with it, and every call waits at most its reply time.
namespace platform {

// No session bus, or the notification service refused a notice or did not answer in time.
class ENoticeError : public base::Exception {
public:
    using Exception::Exception;
};

class DesktopNotices {
public:
    // The session bus's address: DBUS_SESSION_BUS_ADDRESS, else the user's bus socket
    // ($XDG_RUNTIME_DIR/bus) when there is one; nothing otherwise. Never starts a bus.
    static std::optional<std::string> SessionBusAddress();

    // Connects to the bus at address as appName; ENoticeError when it cannot.
    DesktopNotices(const std::string &address, std::string appName,
                   std::chrono::milliseconds replyTimeout = std::chrono::seconds(5));
    ~DesktopNotices();
    DesktopNotices(const DesktopNotices &) = delete;
    DesktopNotices &operator=(const DesktopNotices &) = delete;

    // Shows one notice; ENoticeError when the service refused it or did not answer in time.
    // Bytes outside printable ASCII are shown as '?': the bus refuses text that is not UTF-8.
    void Show(const std::string &summary, const std::string &body);

private:
    DBusConnection *connection_ = nullptr;
    std::string appName_;
    std::chrono::milliseconds replyTimeout_;
};

} // namespace platform
