#include "core/CheckSetup.h"
#include "probes/AvailabilityProbe.h"
#include "probes/LinkPopularityProbe.h"
#include "probes/RegistryProbe.h"
#include "probes/TrafficRankProbe.h"
#include "tests/ui_main/MainWindowSupport.h"
#include "ui/RadioGroup.h"
#include "ui/ResultListView.h"
#include "ui/ResultTableModel.h"

#include <QCheckBox>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <future>
#include <mutex>

namespace {

constexpr int kWaitMs = 20000;
// How long a registry stand-in waits for a second check under way beside it.
constexpr auto kCompanyWait = std::chrono::seconds(5);

// The availability checks under way at once, as the stand-ins see them, and an action to run on
// the window's thread in the middle of the first web check.
class CheckWatch {
public:
    // Counts a check in. The first that asks to wait for company waits until two have been under
    // way at once, or kCompanyWait has passed, so that checks run at once cannot miss each other.
    void Enter(bool waitForCompany) {
        std::unique_lock lock(mutex_);
        peak_ = std::max(peak_, ++underWay_);
        changed_.notify_all();
        if (waitForCompany && !waited_) {
            waited_ = true;
            changed_.wait_for(lock, kCompanyWait, [this] { return peak_ >= 2; });
        }
    }
    void Leave() {
        const std::lock_guard lock(mutex_);
        --underWay_;
    }
    int Peak() {
        const std::lock_guard lock(mutex_);
        return peak_;
    }

    // Runs the action, set once, at the window's next drain and waits until it has ended.
    void RunDuringCheck() {
        std::function<void()> action;
        {
            const std::lock_guard lock(mutex_);
            action = std::exchange(duringCheck, nullptr);
        }
        if (!action)
            return;
        auto ended = std::make_shared<std::promise<void>>();
        std::future<void> done = ended->get_future();
        AtNextDrain([action = std::move(action), ended] {
            action();
            ended->set_value();
        });
        done.wait_for(std::chrono::milliseconds(kWaitMs));
    }

    std::function<void()> duringCheck;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int underWay_ = 0;
    int peak_ = 0;
    bool waited_ = false;
};

// Stands in for an availability probe that would ask the network: every name is free, and the
// evidence says which probe was asked.
class AvailabilityStandIn : public probes::Probe {
public:
    AvailabilityStandIn(std::string evidence, CheckWatch &watch)
        : evidence_(std::move(evidence)), watch_(watch) {}

    std::vector<std::string> Fills() const override { return {"available", "evidence"}; }
    bool OnlyForAvailable() const override { return false; }
    void Run(probes::DomainRecord &record, const net::NetworkContext &,
             const probes::Pause &) const override {
        watch_.Enter(evidence_ == "rdap");
        watch_.RunDuringCheck();
        record.available = probes::Availability::Free;
        record.AddEvidence(evidence_);
        watch_.Leave();
    }

private:
    const std::string evidence_;
    CheckWatch &watch_;
};

// Stands in for a detail the web would give.
class DetailStandIn : public probes::Probe {
public:
    DetailStandIn(std::string key, std::string value)
        : key_(std::move(key)), value_(std::move(value)) {}

    std::vector<std::string> Fills() const override { return {key_}; }
    bool OnlyForAvailable() const override { return true; }
    void Run(probes::DomainRecord &record, const net::NetworkContext &,
             const probes::Pause &) const override {
        record.SetField(key_, value_);
    }

private:
    const std::string key_;
    const std::string value_;
};

// The probes the program chooses, with those that would reach the network replaced by
// stand-ins; the index probes stay as chosen.
probes::ProbeList WithStandIns(const probes::ProbeList &chosen, CheckWatch &watch) {
    probes::ProbeList list;
    for (const auto &probe : chosen) {
        if (dynamic_cast<const probes::AvailabilityProbe *>(probe.get()))
            list.push_back(std::make_shared<AvailabilityStandIn>("web", watch));
        else if (dynamic_cast<const probes::RegistryProbe *>(probe.get()))
            list.push_back(std::make_shared<AvailabilityStandIn>("rdap", watch));
        else if (dynamic_cast<const probes::LinkPopularityProbe *>(probe.get()))
            list.push_back(std::make_shared<DetailStandIn>("links", kLinks));
        else if (dynamic_cast<const probes::TrafficRankProbe *>(probe.get()))
            list.push_back(std::make_shared<DetailStandIn>("rank", kRank));
        else
            list.push_back(probe);
    }
    return list;
}

// The window as the program makes it: every Start chooses its probes from the settings and the
// indexes as they stand, and only the network is scripted.
class SettingsAtStart : public ::testing::Test, public MainWindowFixture {
protected:
    SettingsAtStart() {
        // The settings dialog, made with the window, shows what it set in the options.
        Find<ui::RadioGroup>(settingsForm, "rgCheck")->Button(core::kCheckWeb)->setChecked(true);
        chooseSetup = [this] {
            core::CheckSetup setup = core::ChooseCheckSetup(options, core::UserIndexFolder());
            setup.probes = WithStandIns(setup.probes, watch);
            return setup;
        };
    }

    // The cell of the row of name in the column of key.
    std::string Cell(const std::string &name, const char *key) {
        results::ResultList &list = form.Results();
        const int column = list.GetColumns().IndexOfKey(key).value();
        for (int k = 0; k < list.Count(); ++k)
            if (list.Row(k)->Caption() == name)
                return std::string(*list.Row(k)->Cell(column));
        return "(no row)";
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (int k = 0; k < form.Results().Count(); ++k)
            names.push_back(form.Results().Row(k)->Caption());
        return names;
    }
    std::string RankCaption() {
        const auto *model = Find<ui::ResultListView>(form, "ListView1")->Model();
        return model->headerData(results::ResultList::AlexaRanking, Qt::Horizontal)
            .toString()
            .toStdString();
    }

    // In Settings: availability by the registries' records, four checks at once, .NET too.
    void ChangeSettings() {
        WhenShown<ui::TSettingsForm>([](ui::TSettingsForm &dialog) {
            Find<ui::RadioGroup>(dialog, "rgCheck")->Button(core::kCheckRegistry)->setChecked(true);
            Find<QSpinBox>(dialog, "seJobs")->setValue(4);
            Find<QCheckBox>(dialog, "NETcb")->setChecked(true);
            Find<QAbstractButton>(dialog, "BitBtn1")->click();
        });
        Button("BitBtn1")->click();
    }
    // "Import rank list..." of a list that ranks vancar.com, car.net and car.com.
    bool ImportRankList() {
        std::ofstream(files.PathOf("top.csv"))
            << "rank,domain\n1,vancar.com\n2,car.net\n3,car.com\n";
        fileAnswers.push_back(files.PathOf("top.csv"));
        Action("ImportRankList1")->trigger();
        return QTest::qWaitFor([this] { return !form.Importing(); }, kWaitMs);
    }

    CheckWatch watch;
    TempFolder files{"nimbrel-settings"};
};

TEST_F(SettingsAtStart, TheNextStartUsesChangedSettingsAndAFinishedImport) {
    // Changed while the first name is checked: that run goes on with what it started with.
    bool imported = false;
    watch.duringCheck = [this, &imported] {
        ChangeSettings();
        imported = ImportRankList();
    };
    Search({"car", "van"});
    ASSERT_TRUE(imported);
    ASSERT_EQ(options.check(), core::kCheckRegistry);
    EXPECT_EQ(options.jobs(), 4);
    // Settings stopped the run after its name.
    EXPECT_EQ(Names(), std::vector<std::string>{"car.com"});
    EXPECT_EQ(Cell("car.com", "evidence"), "web");
    EXPECT_EQ(Cell("car.com", "rank"), kRank);
    EXPECT_EQ(watch.Peak(), 1);
    EXPECT_NE(RankCaption(), core::kRankFromIndexCaption);
    // "Force details" asks the index there is now.
    form.Results().SetSelectedIndex(0);
    Action("Force1")->trigger();
    EXPECT_EQ(Cell("car.com", "rank"), "3");

    Search({"car", "van"});
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"car.com", "car.net", "van.com", "van.net", "carvan.com",
                                        "carvan.net", "vancar.com", "vancar.net"}));
    EXPECT_EQ(Cell("car.com", "evidence").rfind("rdap; ", 0), 0u) << Cell("car.com", "evidence");
    EXPECT_EQ(Cell("vancar.com", "rank"), "1");
    EXPECT_EQ(Cell("car.net", "rank"), "2");
    EXPECT_EQ(Cell("van.com", "rank"), "");
    EXPECT_EQ(Cell("car.com", "links"), kLinks);
    EXPECT_GE(watch.Peak(), 2);
    EXPECT_EQ(RankCaption(), core::kRankFromIndexCaption);
    EXPECT_EQ(form.StatusText(), "Done!");
}

} // namespace
