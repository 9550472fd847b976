#include "ui/SettingsUnit.h"

#include "core/OptionsStore.h"
#include "core/SearchOptions.h"
#include "tests/support/TempConfigHome.h"
#include "tests/ui_dialogs/DialogTestSupport.h"
#include "ui/RadioGroup.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

class SettingsDialog : public ::testing::Test {
public:
    ui::TSettingsForm &Show() {
        form_ = std::make_unique<ui::TSettingsForm>(options_);
        form_->show();
        return *form_;
    }
    QCheckBox &Box(const char *name) { return *Find<QCheckBox>(*form_, name); }
    QLineEdit &Url() { return *Find<QLineEdit>(*form_, "leRegService"); }
    QSpinBox &Jobs() { return *Find<QSpinBox>(*form_, "seJobs"); }
    ui::RadioGroup &ShowUp() { return *Find<ui::RadioGroup>(*form_, "rgShowDomain"); }
    ui::RadioGroup &Group(const char *name) { return *Find<ui::RadioGroup>(*form_, name); }
    // On the item's mark: a short caption leaves the middle of its cell empty.
    static void ClickItem(ui::RadioGroup &group, int item) {
        QWidget *button = group.Button(item);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
    static core::SearchOptions Stored() {
        core::SearchOptions stored;
        core::LoadSettings(stored);
        return stored;
    }

    TempConfigHome home_;
    core::SearchOptions options_;
    std::unique_ptr<ui::TSettingsForm> form_;
};

TEST_F(SettingsDialog, ShowsTheLoadedSettings) {
    core::SearchOptions stored;
    stored.COM = false;
    stored.ORG = true;
    stored.acronyms = true;
    stored.SetShow(core::kNoChoice);
    stored.reg = "http://www.example.com";
    stored.SetJobs(5);
    stored.SetRankFrom(core::kFromWeb);
    stored.SetCheck(core::kCheckWeb);
    stored.US = true;
    stored.suffixes = "io, dev";
    stored.cache = false;
    core::StoreSettings(stored);

    Show();
    EXPECT_FALSE(Box("COMcb").isChecked());
    EXPECT_FALSE(Box("NETcb").isChecked());
    EXPECT_TRUE(Box("ORGcb").isChecked());
    EXPECT_FALSE(Box("HyphensCheckBox").isChecked());
    EXPECT_TRUE(Box("AcronymsCheckBox").isChecked());
    EXPECT_EQ(ShowUp().ItemIndex(), -1);
    EXPECT_EQ(Url().text(), "http://www.example.com");
    EXPECT_EQ(options_.reg, "http://www.example.com");
    EXPECT_EQ(options_.show(), core::kNoChoice);
    EXPECT_EQ(Jobs().value(), 5);
    EXPECT_EQ(options_.jobs(), 5);
    EXPECT_EQ(Group("rgLinksFrom").ItemIndex(), core::kIndexWhenPresent);
    EXPECT_EQ(Group("rgRankFrom").ItemIndex(), core::kFromWeb);
    EXPECT_EQ(options_.rankFrom(), core::kFromWeb);
    EXPECT_EQ(Group("rgCheck").ItemIndex(), core::kCheckWeb);
    EXPECT_FALSE(Box("BIZcb").isChecked());
    EXPECT_TRUE(Box("UScb").isChecked());
    EXPECT_EQ(Find<QLineEdit>(*form_, "leSuffixes")->text(), "io, dev");
    EXPECT_FALSE(Box("cbCache").isChecked());
    EXPECT_FALSE(options_.cache);
}

TEST_F(SettingsDialog, EveryControlWritesThroughAtOnce) {
    using Options = core::SearchOptions;
    struct Case {
        const char *name;
        std::function<void(SettingsDialog &)> change;
        std::function<bool(const Options &)> changed;
    };
    const auto click = [](const char *box) {
        return [box](SettingsDialog &t) { QTest::mouseClick(&t.Box(box), Qt::LeftButton); };
    };
    const Case cases[] = {
        {".COM", click("COMcb"), [](const Options &o) { return !o.COM; }},
        {".NET", click("NETcb"), [](const Options &o) { return o.NET; }},
        {".ORG", click("ORGcb"), [](const Options &o) { return o.ORG; }},
        {".BIZ", click("BIZcb"), [](const Options &o) { return o.BIZ; }},
        {".US", click("UScb"), [](const Options &o) { return o.US; }},
        {".INFO", click("INFOcb"), [](const Options &o) { return o.INFO; }},
        {".CO.UK", click("COUKcb"), [](const Options &o) { return o.COUK; }},
        {"web check", [](SettingsDialog &t) { t.ClickItem(t.Group("rgCheck"), 1); },
         [](const Options &o) { return o.check() == core::kCheckWeb; }},
        {"more suffixes typed",
         [](SettingsDialog &t) { QTest::keyClicks(Find<QLineEdit>(*t.form_, "leSuffixes"), "io"); },
         [](const Options &o) { return o.suffixes == "io"; }},
        {"hyphens", click("HyphensCheckBox"), [](const Options &o) { return o.hyphens; }},
        {"acronyms", click("AcronymsCheckBox"), [](const Options &o) { return o.acronyms; }},
        {"registry answers not remembered", click("cbCache"),
         [](const Options &o) { return !o.cache; }},
        {"words before typed",
         [](SettingsDialog &t) { QTest::keyClicks(Find<QLineEdit>(*t.form_, "leBefore"), "get"); },
         [](const Options &o) { return o.before == "get"; }},
        {"words after typed",
         [](SettingsDialog &t) { QTest::keyClicks(Find<QLineEdit>(*t.form_, "leAfter"), "hq"); },
         [](const Options &o) { return o.after == "hq"; }},
        {"common words", click("cbCommonAffixes"),
         [](const Options &o) { return o.commonAffixes; }},
        {"suffix hacks", click("cbSuffixHacks"), [](const Options &o) { return o.suffixHacks; }},
        {"length limit set", click("cbMaxLength"),
         [](const Options &o) { return o.maxNameLength == 12; }},
        {"length limit set and stepped up",
         [](SettingsDialog &t) {
             QTest::mouseClick(&t.Box("cbMaxLength"), Qt::LeftButton);
             QTest::keyClick(Find<QSpinBox>(*t.form_, "seMaxLength"), Qt::Key_Up);
         },
         [](const Options &o) { return o.maxNameLength == 13; }},
        {"show available only",
         [](SettingsDialog &t) { QTest::mouseClick(t.ShowUp().Button(0), Qt::LeftButton); },
         [](const Options &o) { return o.show() == core::kShowAvailableOnly; }},
        {"checks at once stepped down",
         [](SettingsDialog &t) { QTest::keyClick(&t.Jobs(), Qt::Key_Down); },
         [](const Options &o) { return o.jobs() == core::kDefaultJobs - 1; }},
        {"link popularity from the web",
         [](SettingsDialog &t) { t.ClickItem(t.Group("rgLinksFrom"), 1); },
         [](const Options &o) { return o.linksFrom() == core::kFromWeb; }},
        {"traffic rank from the web",
         [](SettingsDialog &t) { t.ClickItem(t.Group("rgRankFrom"), 1); },
         [](const Options &o) { return o.rankFrom() == core::kFromWeb; }},
        {"URL typed", [](SettingsDialog &t) { QTest::keyClicks(&t.Url(), "/register"); },
         [](const Options &o) {
             return o.reg == std::string(core::kDefaultRegistrationAddress) + "/register";
         }},
        {"URL with a non-ASCII letter",
         [](SettingsDialog &t) {
             t.Url().setText(QStringLiteral("http://www.d\u00E9p\u00F4t.fr"));
         },
         [](const Options &o) { return o.reg == "http://www.d\xC3\xA9p\xC3\xB4t.fr"; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        options_ = Options();
        Show();
        c.change(*this);
        EXPECT_TRUE(c.changed(options_));
        EXPECT_TRUE(form_->isVisible());
    }
}

TEST_F(SettingsDialog, EscapeClosesAndStoresAsTheCloseBoxDoes) {
    Show();
    QTest::mouseClick(&Box("NETcb"), Qt::LeftButton);
    QTest::keyClick(&Url(), Qt::Key_Escape);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_TRUE(Stored().NET);
}

TEST_F(SettingsDialog, CloseBoxStoresAndTheNextStartShowsTheSame) {
    Show();
    QTest::mouseClick(&Box("COMcb"), Qt::LeftButton);
    QTest::mouseClick(&Box("NETcb"), Qt::LeftButton);
    form_->close();
    EXPECT_FALSE(form_->isVisible());

    const core::SearchOptions stored = Stored();
    EXPECT_FALSE(stored.COM);
    EXPECT_TRUE(stored.NET);
    EXPECT_FALSE(stored.ORG);

    core::SearchOptions next;
    ui::TSettingsForm again(next);
    EXPECT_FALSE(Find<QCheckBox>(again, "COMcb")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(again, "NETcb")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(again, "ORGcb")->isChecked());
}

TEST_F(SettingsDialog, EmptiedUrlIsStoredEmpty) {
    Show();
    Url().setFocus();
    QTest::keyClick(&Url(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&Url(), Qt::Key_Backspace);
    EXPECT_EQ(options_.reg, "");
    Find<QPushButton>(*form_, "BitBtn1")->click();
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(Stored().reg, "");
}

// The limit is the box and the length together; a cleared box keeps no limit.
TEST_F(SettingsDialog, ShowsAndKeepsTheLengthLimit) {
    core::SearchOptions stored;
    stored.maxNameLength = 9;
    core::StoreSettings(stored);
    Show();
    auto *length = Find<QSpinBox>(*form_, "seMaxLength");
    EXPECT_TRUE(Box("cbMaxLength").isChecked() && length->isEnabled());
    EXPECT_EQ(length->value(), 9);
    QTest::mouseClick(&Box("cbMaxLength"), Qt::LeftButton);
    EXPECT_EQ(options_.maxNameLength, core::kNoLengthLimit);
    EXPECT_FALSE(length->isEnabled());
    form_->close();
    EXPECT_EQ(Stored().maxNameLength, core::kNoLengthLimit);
}

TEST_F(SettingsDialog, WordListsAreCheckedOnEveryClose) {
    struct Case {
        const char *edit;
        const char *typed;
        const char *message; // empty when the dialog closes
    };
    const Case cases[] = {
        {"leBefore", "get, Try,, my", ""},
        {"leAfter", "hq, my app", "In Words after, 'my app' cannot be part of a domain name."},
        {"leBefore", "x.y", "In Words before, 'x.y' cannot be part of a domain name."},
        {"leAfter", "über", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        ShownMessages().clear();
        Show();
        auto *edit = Find<QLineEdit>(*form_, c.edit);
        edit->setText(QString::fromUtf8(c.typed));
        Find<QPushButton>(*form_, "BitBtn1")->click();
        const bool closes = *c.message == '\0';
        EXPECT_EQ(form_->isVisible(), !closes);
        if (closes) {
            EXPECT_TRUE(ShownMessages().empty());
            continue;
        }
        ASSERT_EQ(ShownMessages().size(), 1u);
        EXPECT_EQ(ShownMessages().front(), c.message);
        EXPECT_EQ(form_->focusWidget(), edit);
        edit->clear();
        form_->close();
        EXPECT_FALSE(form_->isVisible());
    }
}

TEST_F(SettingsDialog, MoreSuffixesAreCheckedOnEveryClose) {
    struct Case {
        const char *typed;
        bool closes;
    };
    const Case cases[] = {
        {"io, dev, .Shop", true}, {"", true},         {" , co.uk,", true},  {"io, my shop", false},
        {"-io", false},           {"d\u00e9v", true}, {"-d\u00e9v", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        ShownMessages().clear();
        Show();
        Find<QLineEdit>(*form_, "leSuffixes")->setText(QString::fromUtf8(c.typed));
        Find<QPushButton>(*form_, "BitBtn1")->click();
        EXPECT_EQ(form_->isVisible(), !c.closes);
        EXPECT_EQ(ShownMessages().size(), c.closes ? 0u : 1u);
        if (c.closes) {
            EXPECT_EQ(Stored().suffixes, c.typed);
            continue;
        }
        EXPECT_EQ(ShownMessages().front().rfind("In More suffixes, '", 0), 0u)
            << ShownMessages().front();
        // Neither Escape nor the close box lets the bad list through.
        QTest::keyClick(form_.get(), Qt::Key_Escape);
        form_->close();
        EXPECT_TRUE(form_->isVisible());
        EXPECT_NE(Stored().suffixes, c.typed);
        Find<QLineEdit>(*form_, "leSuffixes")->clear();
        form_->close();
        EXPECT_FALSE(form_->isVisible());
    }
}

TEST_F(SettingsDialog, ChecksAtOnceStayInRangeAndAreStoredOnOk) {
    struct Case {
        const char *typed;
        int stored;
    };
    // Typing beyond the range is refused, so the box keeps its nearest valid value.
    const Case cases[] = {{"1", 1}, {"64", 64}, {"65", 6}, {"100", 10}, {"32", 32}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        Show();
        EXPECT_EQ(Jobs().minimum(), core::kMinJobs);
        EXPECT_EQ(Jobs().maximum(), core::kMaxJobs);
        Jobs().setValue(0);
        EXPECT_EQ(options_.jobs(), core::kMinJobs);
        Jobs().setFocus();
        Jobs().selectAll();
        QTest::keyClicks(&Jobs(), c.typed);
        Find<QPushButton>(*form_, "BitBtn1")->click();
        EXPECT_FALSE(form_->isVisible());
        EXPECT_EQ(Stored().jobs(), c.stored);
    }
}

} // namespace
