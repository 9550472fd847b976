#include "tests/support/TestSessionBus.h"

#include <dbus/dbus.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace testsupport {
namespace {

constexpr const char *kDaemon = "/usr/bin/dbus-daemon";
constexpr int kStartLimitMs = 5000;
// How long the stand-in waits for a message before it looks at its stop flag again.
constexpr int kServeSliceMs = 20;

// The first line the daemon prints, its address; empty when none came in time.
std::string ReadAddress(int fd) {
    std::string text;
    char c = 0;
    pollfd wait{fd, POLLIN, 0};
    while (::poll(&wait, 1, kStartLimitMs) == 1 && ::read(fd, &c, 1) == 1) {
        if (c == '\n')
            return text;
        text += c;
    }
    return {};
}

} // namespace

bool TestSessionBus::Available() {
    return ::access(kDaemon, X_OK) == 0;
}

TestSessionBus::TestSessionBus() {
    int out[2];
    if (::pipe(out) != 0)
        throw std::runtime_error("no pipe for dbus-daemon");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    // A bus of its own rules, with no services to start: nothing on it but what the test puts.
    const std::string config = folder_.PathOf("bus.conf");
    std::ofstream(config) << "<busconfig><type>session</type><listen>unix:dir="
                          << folder_.Path().string()
                          << "</listen><policy context=\"default\"><allow "
                             "send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                             "<allow own=\"*\"/></policy></busconfig>\n";
    const std::string configOption = "--config-file=" + config;
    const char *argv[] = {kDaemon, configOption.c_str(), "--nofork", "--print-address=1", nullptr};
    const int spawned =
        ::posix_spawn(&pid_, kDaemon, &actions, nullptr, const_cast<char *const *>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        ::close(out[0]);
        throw std::runtime_error("cannot start dbus-daemon");
    }
    address_ = ReadAddress(out[0]);
    ::close(out[0]);
    if (address_.empty())
        throw std::runtime_error("dbus-daemon told no address");
}

TestSessionBus::~TestSessionBus() {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
}

NotificationStandIn::NotificationStandIn(const std::string &address) {
    DBusError error;
    dbus_error_init(&error);
    connection_ = dbus_connection_open_private(address.c_str(), &error);
    if (!connection_ || !dbus_bus_register(connection_, &error) ||
        dbus_bus_request_name(connection_, "org.freedesktop.Notifications",
                              DBUS_NAME_FLAG_DO_NOT_QUEUE,
                              &error) != DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER) {
        dbus_error_free(&error);
        throw std::runtime_error("the stand-in cannot own the notification service's name");
    }
    dbus_connection_set_exit_on_disconnect(connection_, FALSE);
    thread_ = std::thread([this] { Serve(); });
}

NotificationStandIn::~NotificationStandIn() {
    stop_ = true;
    thread_.join();
    dbus_connection_close(connection_);
    dbus_connection_unref(connection_);
}

std::vector<ReceivedNotice> NotificationStandIn::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void NotificationStandIn::Serve() {
    while (!stop_ && dbus_connection_read_write(connection_, kServeSliceMs)) {
        while (DBusMessage *message = dbus_connection_pop_message(connection_)) {
            if (dbus_message_is_method_call(message, "org.freedesktop.Notifications", "Notify"))
                Answer(message);
            dbus_message_unref(message);
        }
    }
}

void NotificationStandIn::Answer(DBusMessage *call) {
    DBusMessageIter args;
    std::vector<std::string> texts;
    if (dbus_message_iter_init(call, &args)) {
        do {
            if (dbus_message_iter_get_arg_type(&args) == DBUS_TYPE_STRING) {
                const char *text = nullptr;
                dbus_message_iter_get_basic(&args, &text);
                texts.emplace_back(text);
            }
        } while (dbus_message_iter_next(&args));
    }
    dbus_uint32_t id = 0;
    {
        std::lock_guard lock(mutex_);
        if (texts.size() == 4)
            received_.push_back({texts[0], texts[2], texts[3]});
        id = static_cast<dbus_uint32_t>(received_.size());
    }
    DBusMessage *reply = dbus_message_new_method_return(call);
    dbus_message_append_args(reply, DBUS_TYPE_UINT32, &id, DBUS_TYPE_INVALID);
    dbus_connection_send(connection_, reply, nullptr);
    dbus_connection_flush(connection_);
    dbus_message_unref(reply);
}

} // namespace testsupport
