#include "platform/DesktopNotices.h"

#include "tests/support/TestSessionBus.h"

#include <gtest/gtest.h>

namespace {

using testsupport::NotificationStandIn;
using testsupport::TestSessionBus;

TEST(DesktopNotices, ReachTheNotificationServiceExactly) {
    if (!TestSessionBus::Available())
        GTEST_SKIP() << "no dbus-daemon";
    TestSessionBus bus;
    NotificationStandIn service(bus.Address());
    platform::DesktopNotices notices(bus.Address(), "Nimbrel");
    notices.Show("example.com is free", "It was pending delete.\nRegister it now.");
    // Text that is not ASCII would make the bus library refuse the message.
    notices.Show("caf\xc3\xa9.com\x01", "\xff");
    const auto received = service.Received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].appName, "Nimbrel");
    EXPECT_EQ(received[0].summary, "example.com is free");
    EXPECT_EQ(received[0].body, "It was pending delete.\nRegister it now.");
    EXPECT_EQ(received[1].summary, "caf??.com?");
    EXPECT_EQ(received[1].body, "?");
}

TEST(DesktopNotices, FailWithAReasonWithoutABusOrAService) {
    EXPECT_THROW(platform::DesktopNotices("unix:path=/nonexistent/bus", "Nimbrel"),
                 platform::ENoticeError);
    if (!TestSessionBus::Available())
        GTEST_SKIP() << "no dbus-daemon";
    TestSessionBus bus;
    platform::DesktopNotices notices(bus.Address(), "Nimbrel", std::chrono::milliseconds(500));
    // Nobody owns the service's name: the bus answers at once that no one can take the call.
    EXPECT_THROW(notices.Show("a", "b"), platform::ENoticeError);
}

} // namespace
