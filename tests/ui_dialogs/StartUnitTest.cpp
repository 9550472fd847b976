#include "ui/StartUnit.h"

#include "core/OptionsStore.h"
#include "core/SearchOptions.h"
#include "tests/support/TempConfigHome.h"
#include "tests/ui_dialogs/DialogTestSupport.h"
#include "ui/RadioGroup.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {

using Keywords = std::vector<std::string>;

const std::string kThreeKeywords = "You have already typed in 3 keywords!";
const std::string kNoKeyword = "Mistake: You did not enter any keyword!";

class KeywordsDialog : public ::testing::Test {
protected:
    KeywordsDialog() { ShownMessages().clear(); }

    // Creates the dialog, as start-up does, and shows it.
    ui::TStartForm &Show(const Keywords &keywords = {}) {
        form_ = std::make_unique<ui::TStartForm>(options_);
        options_.keywords = keywords;
        form_->show();
        return *form_;
    }
    QLineEdit &Edit() { return *Find<QLineEdit>(*form_, "leKeyword"); }
    QListWidget &List() { return *Find<QListWidget>(*form_, "KeywordsListBox"); }
    void Click(const char *button) { Find<QPushButton>(*form_, button)->click(); }
    ui::RadioGroup &Mode() { return *Find<ui::RadioGroup>(*form_, "SearchRadioGroup"); }

    static QStringList AsItems(const Keywords &keywords) {
        QStringList items;
        for (const std::string &keyword : keywords)
            items << QString::fromStdString(keyword);
        return items;
    }
    static std::int32_t StoredSearchMode() {
        core::SearchOptions stored;
        stored.SetSearchFor(42);
        core::LoadSearchMode(stored);
        return stored.searchfor();
    }

    TempConfigHome home_;
    core::SearchOptions options_;
    std::unique_ptr<ui::TStartForm> form_;
};

TEST_F(KeywordsDialog, EnterInTheEditAddsAndLeavesTheTextSelected) {
    for (Qt::Key enter : {Qt::Key_Return, Qt::Key_Enter}) {
        Show();
        QTest::keyClicks(&Edit(), "shop");
        QTest::keyClick(&Edit(), enter);
        EXPECT_EQ(options_.keywords, Keywords{"shop"});
        EXPECT_EQ(Items(List()), QStringList{"shop"});
        EXPECT_EQ(Edit().text(), "shop");
        EXPECT_EQ(Edit().selectedText(), "shop");
        EXPECT_EQ(form_->focusWidget(), &Edit());
        EXPECT_TRUE(ShownMessages().empty());
    }
}

// Only an Enter both pressed and released in the edit adds: the release of an Enter that pressed a
// button or dismissed a message box lands in the edit once focus is back there.
TEST_F(KeywordsDialog, OnlyAnEnterPressedInTheEditAdds) {
    enum Target { NoWhere, InEdit, OnAddButton };
    struct Case {
        const char *name;
        Target pressed;
        bool held;
        std::size_t messages;
    };
    const Case cases[] = {
        {"pressed and released in the edit", InEdit, false, 1},
        {"held down in the edit", InEdit, true, 1},
        {"pressed on the focused Add button", OnAddButton, false, 1},
        {"pressed in a message box that is gone", NoWhere, false, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages().clear();
        Show({"a", "b", "c"});
        Edit().setText("d");
        const auto send = [](QWidget &to, QEvent::Type type, bool repeated) {
            QKeyEvent key(type, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), repeated);
            QApplication::sendEvent(&to, &key);
        };
        if (c.pressed == InEdit)
            send(Edit(), QEvent::KeyPress, false);
        if (c.pressed == OnAddButton) {
            auto *add = Find<QPushButton>(*form_, "AddBtn");
            add->setFocus();
            send(*add, QEvent::KeyPress, false);
        }
        if (c.held) {
            send(Edit(), QEvent::KeyRelease, true);
            send(Edit(), QEvent::KeyPress, true);
        }
        send(Edit(), QEvent::KeyRelease, false);
        EXPECT_EQ(ShownMessages().size(), c.messages);
        EXPECT_EQ(options_.keywords, (Keywords{"a", "b", "c"}));
    }
}

TEST_F(KeywordsDialog, AddKeepsAtMostThreeDistinctKeywords) {
    struct Case {
        const char *name;
        Keywords before;
        QString typed;
        Keywords after;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"first", {}, "My  Shop ", {"My  Shop "}, {}},
        {"same word in other case", {"shop"}, "Shop", {"shop"}, {}},
        {"third", {"a", "b"}, "c", {"a", "b", "c"}, {}},
        {"fourth", {"a", "b", "c"}, "d", {"a", "b", "c"}, {kThreeKeywords}},
        {"fourth that is a duplicate", {"a", "b", "c"}, "A", {"a", "b", "c"}, {kThreeKeywords}},
        {"empty edit", {}, "", {}, {}},
        {"empty edit with three", {"a", "b", "c"}, "", {"a", "b", "c"}, {}},
        {"non-ASCII letters fold as domain names do",
         {"\xC3\xA4pfel"},
         "\u00C4pfel",
         {"\xC3\xA4pfel"},
         {}},
        {"a Unicode keyword that is no label",
         {"a"},
         "\u00E4 b",
         {"a"},
         {"The keyword '\xC3\xA4 b' cannot be part of a domain name: it holds a character that a "
          "domain name cannot have."}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages().clear();
        Show(c.before);
        Edit().setText(c.typed);
        Click("AddBtn");
        EXPECT_EQ(options_.keywords, c.after);
        EXPECT_EQ(Items(List()), AsItems(c.after));
        EXPECT_EQ(ShownMessages(), c.messages);
        EXPECT_EQ(Edit().text(), c.typed);
        EXPECT_EQ(Edit().selectedText(), c.typed);
    }
}

TEST_F(KeywordsDialog, RemoveTakesTheLastKeywordAndClearTakesAll) {
    struct Case {
        const char *button;
        Keywords before;
        int selected;
        Keywords after;
    };
    const Case cases[] = {
        {"BitBtn4", {"one", "two", "three"}, 0, {"one", "two"}},
        {"BitBtn4", {"one", "two", "three"}, -1, {"one", "two"}},
        {"BitBtn4", {"one"}, 0, {}},
        {"BitBtn4", {}, -1, {}},
        {"BitBtn5", {"one", "two", "three"}, 1, {}},
        {"BitBtn5", {}, -1, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.button + (" with " + std::to_string(c.before.size())));
        Show(c.before);
        List().setCurrentRow(c.selected);
        Click(c.button);
        EXPECT_EQ(options_.keywords, c.after);
        EXPECT_EQ(Items(List()), AsItems(c.after));
        EXPECT_TRUE(ShownMessages().empty());
    }
    Show({"one"});
    Click("BitBtn4");
    EXPECT_EQ(form_->focusWidget(), &List());
}

// The count before Start is the one --dry-run prints, so it follows every change in the dialog.
TEST_F(KeywordsDialog, ShowsHowManyNamesASearchWouldCheck) {
    const auto shown = [this] {
        return Find<QLabel>(*form_, "NamesCountLabel")->toolTip().toStdString();
    };
    options_.NET = true;
    options_.before = "Get";
    Show();
    Mode().Button(0)->click();
    EXPECT_EQ(shown(), "");
    Edit().setText("Fast");
    Click("AddBtn");
    EXPECT_EQ(shown(), "4 names to check: 2 .com, 2 .net");
    // getfast is a keyword and "get" + "fast" too, and is counted once.
    Edit().setText("getfast");
    Click("AddBtn");
    EXPECT_EQ(shown(), "6 names to check: 3 .com, 3 .net");
    Mode().Button(1)->click();
    EXPECT_EQ(shown(), "14 names to check: 7 .com, 7 .net");
    Click("BitBtn4");
    EXPECT_EQ(shown(), "4 names to check: 2 .com, 2 .net");
    Click("BitBtn5");
    EXPECT_EQ(shown(), "");

    options_.suffixes = "io, my shop";
    Show({"x"});
    EXPECT_EQ(shown().rfind("Names cannot be counted: 'my shop'", 0), 0u) << shown();
    options_.suffixes = "io,dev,shop,app,online,store,tech,site,xyz,club";
    Show({"x"});
    const auto *label = Find<QLabel>(*form_, "NamesCountLabel");
    EXPECT_TRUE(label->text().endsWith(QChar(0x2026)));
    EXPECT_TRUE(ui::CaptionFits(*label));
}

TEST_F(KeywordsDialog, SearchLowerCasesAnswersSearchAndCloses) {
    Show({"My Shop", "ONLINE", "\xC3\x84pfel"});
    Click("BitBtn1");
    const Keywords lowered = {"my shop", "online", "\xC3\xA4pfel"};
    EXPECT_EQ(options_.keywords, lowered);
    EXPECT_EQ(Items(List()), AsItems(lowered));
    EXPECT_EQ(form_->Answer(), core::KeywordsAnswer::Search);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_TRUE(ShownMessages().empty());

    // The dialog lives on: shown again, it still holds the keywords.
    form_->show();
    EXPECT_EQ(Items(List()), AsItems(lowered));
    EXPECT_EQ(form_->focusWidget(), &Edit());
}

TEST_F(KeywordsDialog, SearchWithoutKeywordsComplainsAndStaysOpen) {
    Show();
    QTest::keyClicks(&Edit(), "not added");
    Click("BitBtn1");
    EXPECT_EQ(ShownMessages(), std::vector<std::string>{kNoKeyword});
    EXPECT_TRUE(form_->isVisible());
    EXPECT_EQ(form_->Answer(), core::KeywordsAnswer::Cancel);
    EXPECT_TRUE(options_.keywords.empty());

    form_->close();
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(form_->Answer(), core::KeywordsAnswer::Cancel);
}

TEST_F(KeywordsDialog, EveryCloseStoresTheSearchMode) {
    enum class Close { Cancel, CloseBox, Search };
    struct Case {
        const char *name;
        Close how;
        // Whether the showing before this one ended with Search: the answer is each showing's own.
        bool searchedBefore;
        core::KeywordsAnswer answer;
    };
    const Case cases[] = {
        {"Cancel answers Cancel", Close::Cancel, true, core::KeywordsAnswer::Cancel},
        {"close box after a search answers Cancel", Close::CloseBox, true,
         core::KeywordsAnswer::Cancel},
        {"close box answers Cancel", Close::CloseBox, false, core::KeywordsAnswer::Cancel},
        {"Search answers Search", Close::Search, false, core::KeywordsAnswer::Search},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(home_.SetupFile());
        options_ = core::SearchOptions();
        Show({"shop"});
        if (c.searchedBefore) {
            Click("BitBtn1");
            ASSERT_EQ(form_->Answer(), core::KeywordsAnswer::Search);
            form_->show();
        }
        ASSERT_EQ(Mode().ItemIndex(), core::kAllVariants);
        QTest::mouseClick(Mode().Button(core::kExactPhrase), Qt::LeftButton);
        EXPECT_EQ(options_.searchfor(), core::kExactPhrase);

        switch (c.how) {
        case Close::Cancel:
            Click("BitBtn2");
            break;
        case Close::CloseBox:
            form_->close();
            break;
        case Close::Search:
            Click("BitBtn1");
            break;
        }
        EXPECT_FALSE(form_->isVisible());
        EXPECT_EQ(form_->Answer(), c.answer);
        EXPECT_EQ(StoredSearchMode(), core::kExactPhrase);

        // The next start of the program shows the stored mode.
        core::SearchOptions next;
        ui::TStartForm again(next);
        EXPECT_EQ(next.searchfor(), core::kExactPhrase);
        EXPECT_TRUE(Find<ui::RadioGroup>(again, "SearchRadioGroup")->Button(0)->isChecked());
    }
}

// "Search for:" picks built names or linked names; the choice is stored as `searchmode` on
// close, the other search mode kept beside it, and shown again at the next start.
TEST_F(KeywordsDialog, TheSearchForChoiceIsStoredAndShownAgain) {
    for (const std::int32_t mode : {core::kLinkedNames, core::kBuildNames}) {
        SCOPED_TRACE(mode);
        Show({"car"});
        auto &group = *Find<ui::RadioGroup>(*form_, "SearchModeGroup");
        EXPECT_EQ(group.Button(1)->text(), "linked names containing the keywords");
        QTest::mouseClick(group.Button(mode), Qt::LeftButton);
        EXPECT_EQ(options_.searchmode(), mode);
        Click("BitBtn1");
        EXPECT_EQ(form_->Answer(), core::KeywordsAnswer::Search);

        core::SearchOptions next;
        ui::TStartForm again(next);
        EXPECT_EQ(next.searchmode(), mode);
        EXPECT_EQ(next.searchfor(), core::kAllVariants);
        EXPECT_TRUE(Find<ui::RadioGroup>(again, "SearchModeGroup")->Button(mode)->isChecked());
    }
}

TEST_F(KeywordsDialog, StoredNoChoiceMarksNoMode) {
    core::SearchOptions stored;
    stored.SetSearchFor(core::kNoChoice);
    core::StoreSearchMode(stored);
    Show();
    EXPECT_EQ(options_.searchfor(), core::kNoChoice);
    EXPECT_EQ(Mode().ItemIndex(), -1);
    EXPECT_FALSE(Mode().Button(0)->isChecked());
    EXPECT_FALSE(Mode().Button(1)->isChecked());

    form_->close();
    EXPECT_EQ(StoredSearchMode(), core::kNoChoice);
}

TEST_F(KeywordsDialog, EscapeCancelsAndEnterHasNoDialogWideMeaning) {
    Show({"shop"});
    QTest::keyClick(&Edit(), Qt::Key_Escape);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(form_->Answer(), core::KeywordsAnswer::Cancel) << "as Cancel: no search";

    Show();
    // No default button: Enter in an empty edit presses neither Search nor anything else.
    QTest::keyClick(&Edit(), Qt::Key_Return);
    EXPECT_TRUE(form_->isVisible());
    EXPECT_TRUE(ShownMessages().empty());
    for (auto *button : form_->findChildren<QPushButton *>()) {
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    }
}

TEST_F(KeywordsDialog, EnterPressesTheFocusedButton) {
    Show({"one", "two"});
    auto *remove = Find<QPushButton>(*form_, "BitBtn4");
    remove->setFocus();
    QTest::keyClick(remove, Qt::Key_Return);
    EXPECT_EQ(options_.keywords, Keywords{"one"});
}

TEST_F(KeywordsDialog, ShowModalReturnsOnceTheDialogCloses) {
    form_ = std::make_unique<ui::TStartForm>(options_);
    options_.keywords = {"Shop"};
    QTimer::singleShot(0, form_.get(), [this] {
        EXPECT_TRUE(form_->isModal());
        Click("BitBtn1");
    });
    EXPECT_EQ(form_->AskKeywords(), core::KeywordsAnswer::Search);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(options_.keywords, Keywords{"shop"});
}

} // namespace
