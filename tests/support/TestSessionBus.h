#pragma once

#include "tests/support/TempFolder.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct DBusConnection;
struct DBusMessage;

// A session bus of a test's own: dbus-daemon started in a temporary folder, killed and reaped
// with the object, and a stand-in for the desktop's notification service on it that records
// every notice it is asked to show and answers as the real one does.
//
//     testsupport::TestSessionBus bus;
//     testsupport::NotificationStandIn notices(bus.Address());
//     ... the program under test sends its notices to bus.Address() ...
//     EXPECT_EQ(notices.Received().size(), 1u);
namespace testsupport {

class TestSessionBus {
public:
    // Whether dbus-daemon is installed; a test skips without it.
    static bool Available();

    TestSessionBus();
    ~TestSessionBus();
    TestSessionBus(const TestSessionBus &) = delete;
    TestSessionBus &operator=(const TestSessionBus &) = delete;

    const std::string &Address() const { return address_; }

private:
    TempFolder folder_{"nimbrel-bus"};
    int pid_ = -1;
    std::string address_;
};

struct ReceivedNotice {
    std::string appName;
    std::string summary;
    std::string body;
};

class NotificationStandIn {
public:
    // Owns org.freedesktop.Notifications on the bus at address once constructed.
    explicit NotificationStandIn(const std::string &address);
    ~NotificationStandIn();
    NotificationStandIn(const NotificationStandIn &) = delete;
    NotificationStandIn &operator=(const NotificationStandIn &) = delete;

    // The notices asked so far, in order. Each is recorded before its caller is answered.
    std::vector<ReceivedNotice> Received() const;

private:
    void Serve();
    void Answer(DBusMessage *call);

    DBusConnection *connection_ = nullptr;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<ReceivedNotice> received_;
    std::thread thread_;
};

} // namespace testsupport
