#include "platform/DesktopNotices.h"

#include <dbus/dbus.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

namespace platform {
namespace {

// A DBusError freed with the object.
struct BusError {
    BusError() { dbus_error_init(&error); }
    ~BusError() { dbus_error_free(&error); }
    BusError(const BusError &) = delete;
    BusError &operator=(const BusError &) = delete;

    std::string Text() const {
        return dbus_error_is_set(&error) ? std::string(error.message) : std::string("no reason");
    }

    DBusError error;
};

struct MessageUnref {
    void operator()(DBusMessage *message) const { dbus_message_unref(message); }
};
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

std::string Printable(const std::string &text) {
    std::string shown = text;
    for (char &c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\n') || byte >= 0x7F)
            c = '?';
    }
    return shown;
}

void AppendString(DBusMessageIter &args, const std::string &text) {
    const char *bytes = text.c_str();
    if (!dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &bytes))
        throw ENoticeError("cannot make a notice: not enough memory");
}

void AppendEmpty(DBusMessageIter &args, const char *signature) {
    DBusMessageIter inner;
    if (!dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, signature, &inner) ||
        !dbus_message_iter_close_container(&args, &inner))
        throw ENoticeError("cannot make a notice: not enough memory");
}

// Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout).
Message NotifyCall(const std::string &appName, const std::string &summary,
                   const std::string &body) {
    Message call(dbus_message_new_method_call("org.freedesktop.Notifications",
                                              "/org/freedesktop/Notifications",
                                              "org.freedesktop.Notifications", "Notify"));
    if (!call)
        throw ENoticeError("cannot make a notice: not enough memory");
    DBusMessageIter args;
    dbus_message_iter_init_append(call.get(), &args);
    AppendString(args, Printable(appName));
    const dbus_uint32_t replaces = 0;
    dbus_message_iter_append_basic(&args, DBUS_TYPE_UINT32, &replaces);
    AppendString(args, "");
    AppendString(args, Printable(summary));
    AppendString(args, Printable(body));
    AppendEmpty(args, DBUS_TYPE_STRING_AS_STRING);
    AppendEmpty(args, "{sv}");
    // -1: the service's own time on screen.
    const dbus_int32_t expireTimeout = -1;
    dbus_message_iter_append_basic(&args, DBUS_TYPE_INT32, &expireTimeout);
    return call;
}

} // namespace

std::optional<std::string> DesktopNotices::SessionBusAddress() {
    if (const char *address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return std::string(address);
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime)
        return std::nullopt;
    const std::filesystem::path socket = std::filesystem::path(runtime) / "bus";
    std::error_code error;
    if (!std::filesystem::is_socket(socket, error))
        return std::nullopt;
    return "unix:path=" + socket.string();
}

DesktopNotices::DesktopNotices(const std::string &address, std::string appName,
                               std::chrono::milliseconds replyTimeout)
    : appName_(std::move(appName)), replyTimeout_(replyTimeout) {
    BusError error;
    connection_ = dbus_connection_open_private(address.c_str(), &error.error);
    if (!connection_)
        throw ENoticeError("cannot reach the session bus: " + error.Text());
    dbus_connection_set_exit_on_disconnect(connection_, FALSE);
    if (!dbus_bus_register(connection_, &error.error)) {
        const std::string reason = error.Text();
        dbus_connection_close(connection_);
        dbus_connection_unref(connection_);
        connection_ = nullptr;
        throw ENoticeError("cannot join the session bus: " + reason);
    }
}

DesktopNotices::~DesktopNotices() {
    // A private connection must be closed before its last reference goes.
    dbus_connection_close(connection_);
    dbus_connection_unref(connection_);
}

void DesktopNotices::Show(const std::string &summary, const std::string &body) {
    const Message call = NotifyCall(appName_, summary, body);
    BusError error;
    const Message reply(dbus_connection_send_with_reply_and_block(
        connection_, call.get(), static_cast<int>(replyTimeout_.count()), &error.error));
    if (!reply)
        throw ENoticeError("the notification service did not show the notice: " + error.Text());
}

} // namespace platform
