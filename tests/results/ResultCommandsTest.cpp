#include "results/ResultCommands.h"

#include "tests/support/ResultRows.h"
#include "tests/support/ScriptedApplication.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace results {
namespace {

class ResultCommandsTest : public ::testing::Test {
protected:
    std::shared_ptr<ResultRow> AddRow(const std::string &name, const std::string &available,
                                      bool checked) {
        return testsupport::AddTestRow(list, name, available, checked);
    }

    std::vector<bool> CheckMarks() const {
        std::vector<bool> marks;
        for (int i = 0; i < list.Count(); ++i)
            marks.push_back(list.Row(i)->Checked());
        return marks;
    }

    static std::vector<std::string> Cells(const ResultRow &row) {
        return testsupport::CellsOf(row);
    }

    ScriptedApplication app;
    ResultList list;
};

TEST_F(ResultCommandsTest, OpensPagesMaximizedWhenThereIsSomethingToOpen) {
    OpenSelectedSite(list); // no row selected
    AddRow("fastcar.com", "Yes", true);
    OpenSelectedSite(list); // still none selected
    OpenRegistration("http://register.example/");
    list.SetSelectedIndex(0);
    OpenSelectedSite(list);
    OpenRegistration("http://register.example/");
    OpenRegistration("");
    list.Row(0)->SetCaption("");
    OpenSelectedSite(list);

    EXPECT_EQ(app.opened,
              (std::vector<std::string>{"http://register.example/", "http://www.fastcar.com",
                                        "http://register.example/"}));
    EXPECT_EQ(app.openedMaximized, (std::vector<bool>{true, true, true}));
}

TEST_F(ResultCommandsTest, CheckMarkCommandsChangeOnlyCheckMarks) {
    const struct {
        const char *name;
        std::function<void(ResultList &)> command;
        std::vector<bool> expected;
    } cases[] = {
        {"Select All", CheckAll, {true, true, true}},
        {"Select None", UncheckAll, {false, false, false}},
        {"Invert Selection", InvertChecks, {false, true, false}},
        {"Invert Selection twice",
         [](ResultList &l) {
             InvertChecks(l);
             InvertChecks(l);
         },
         {true, false, true}},
    };
    for (const auto &c : cases) {
        list.Clear();
        AddRow("a.com", "Yes", true);
        AddRow("b.com", "No", false);
        AddRow("c.com", "Yes", true);
        list.SetSelectedIndex(1);
        c.command(list);
        EXPECT_EQ(CheckMarks(), c.expected) << c.name;
        EXPECT_EQ(list.SelectedIndex(), 1) << c.name;
        EXPECT_EQ(Cells(*list.Row(1)), (std::vector<std::string>{"b.com", "com", "No", "-", "-"}));
    }
    list.Clear();
    UncheckAll(list);
    InvertChecks(list);
    EXPECT_EQ(list.Count(), 0);
}

} // namespace
} // namespace results
