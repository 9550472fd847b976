#include "registry/RegistryData.h"
#include "tests/ui_main/MainWindowSupport.h"
#include "ui/Unit1.h"

#include <QAction>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>

using namespace testsupport;

namespace {

class RegistryDataWindow : public ::testing::Test, public MainWindowFixture {};

TEST_F(RegistryDataWindow, UpdateRunsOffTheWindowThreadAndSaysItsOutcome) {
    std::thread::id worker;
    registry::RegistryDataUpdate outcome;
    outcome.outcome = registry::UpdateOutcome::Refused;
    outcome.detail = "the server's certificate was not accepted (hostname mismatch)";
    form.SetRegistryUpdate([&worker, outcome] {
        worker = std::this_thread::get_id();
        return outcome;
    });

    Action("UpdateRegistryData1")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form.UpdatingRegistryData(); }, 10000));

    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_EQ(form.StatusText().toStdString(),
              "The registry data was not updated: the server's certificate was not accepted "
              "(hostname mismatch).");
    EXPECT_TRUE(Action("UpdateRegistryData1")->isEnabled());
}

TEST_F(RegistryDataWindow, SaysOnceASessionWhenTheRegistryDataIsOld) {
    chooseSetup = [this] {
        core::CheckSetup setup;
        setup.probes = ProbeListOf(probes);
        setup.registryDataPublished = registry::ReadPublicationTime("2020-01-01T00:00:00Z");
        return setup;
    };
    Search({"car"});
    EXPECT_EQ(form.StatusText().toStdString(),
              "Done! The registry data is from 2020-01-01, more than 180 days old; update it "
              "with Data \u2192 Update registry data");
    Search({"bus"});
    EXPECT_EQ(form.StatusText(), "Done!");
}

} // namespace
