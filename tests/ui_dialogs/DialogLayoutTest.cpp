#include "ui/SettingsUnit.h"
#include "ui/StartUnit.h"

#include "core/SearchOptions.h"
#include "tests/support/TempConfigHome.h"
#include "tests/ui_dialogs/DialogTestSupport.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace {

struct Place {
    const char *name;
    const char *parent;
    QRect geometry;
};

// A control's name, or the caption of an unnamed radio button.
QString Id(const QWidget &widget) {
    if (!widget.objectName().isEmpty())
        return widget.objectName();
    if (auto *button = qobject_cast<const QAbstractButton *>(&widget))
        return button->text();
    return {};
}

class DialogLayout : public ::testing::Test {
protected:
    DialogLayout() {
        options_.keywords = {"my shop", "online"};
        keywords_ = std::make_unique<ui::TStartForm>(options_);
        settings_ = std::make_unique<ui::TSettingsForm>(options_);
        keywords_->show();
        settings_->show();
    }

    std::vector<QWidget *> Forms() { return {keywords_.get(), settings_.get()}; }

    // Places as designed, grown by the dialog's scale.
    static void ExpectPlaces(const ui::FixedDialog &form, const std::vector<Place> &places) {
        for (const Place &place : places) {
            SCOPED_TRACE(place.name);
            const auto *widget = Find<QWidget>(form, place.name);
            EXPECT_EQ(widget->geometry(), form.Scaled(place.geometry));
            EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(place.parent));
        }
    }

    static void ExpectFocusOrder(const QWidget &form, const QStringList &order) {
        const std::set<QString> wanted(order.begin(), order.end());
        QWidget *first = nullptr;
        for (QWidget *widget : form.findChildren<QWidget *>())
            if (Id(*widget) == order.front())
                first = widget;
        ASSERT_NE(first, nullptr);
        QStringList seen;
        QWidget *widget = first;
        do {
            if (wanted.count(Id(*widget)))
                seen << Id(*widget);
            widget = widget->nextInFocusChain();
        } while (widget != first);
        EXPECT_EQ(seen, order);
    }

    TempConfigHome home_;
    core::SearchOptions options_;
    std::unique_ptr<ui::TStartForm> keywords_;
    std::unique_ptr<ui::TSettingsForm> settings_;
};

TEST_F(DialogLayout, WindowsHaveTheirCaptionFixedSizeAndOnlyACloseBox) {
    struct Case {
        ui::FixedDialog *form;
        QString caption;
        QSize client;
    };
    const Case cases[] = {
        {keywords_.get(), "Keywords related to your business...", QSize(294, 397)},
        {settings_.get(), "Settings...", QSize(548, 434)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.caption.toStdString());
        EXPECT_EQ(c.form->windowTitle(), c.caption);
        const QSize client(c.form->Scaled(c.client.width()), c.form->Scaled(c.client.height()));
        EXPECT_EQ(c.form->size(), client);
        EXPECT_EQ(c.form->minimumSize(), client);
        EXPECT_EQ(c.form->maximumSize(), client);
        const Qt::WindowFlags flags = c.form->windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
        EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));
        EXPECT_EQ(c.form->frameGeometry().center(), c.form->screen()->availableGeometry().center());
        // The desktop's text size; the layout grows with it from its 8-point design.
        EXPECT_EQ(c.form->font().pointSizeF(),
                  QFontDatabase::systemFont(QFontDatabase::GeneralFont).pointSizeF());
        QFont designed = c.form->font();
        designed.setPointSize(8);
        EXPECT_DOUBLE_EQ(c.form->LayoutScale(),
                         std::max(1.0, QFontMetricsF(c.form->font()).height() /
                                           QFontMetricsF(designed).height()));
    }
    EXPECT_TRUE(Find<QPushButton>(*settings_, "BitBtn1")->font().bold());
}

TEST_F(DialogLayout, KeywordsControlsSitWhereTheyBelong) {
    ExpectPlaces(*keywords_, {
                                 {"GroupBox1", "StartForm", {10, 5, 276, 191}},
                                 {"leKeyword", "GroupBox1", {11, 42, 254, 21}},
                                 {"AddBtn", "GroupBox1", {38, 69, 70, 25}},
                                 {"BitBtn4", "GroupBox1", {118, 69, 70, 25}},
                                 {"BitBtn5", "GroupBox1", {196, 69, 70, 25}},
                                 {"KeywordsListBox", "GroupBox1", {10, 102, 255, 77}},
                                 {"SearchRadioGroup", "StartForm", {10, 220, 276, 52}},
                                 {"SearchModeGroup", "StartForm", {10, 278, 276, 62}},
                                 {"BitBtn2", "StartForm", {28, 352, 100, 35}},
                                 {"BitBtn1", "StartForm", {169, 352, 100, 35}},
                             });
    const auto *label = Find<QWidget>(*keywords_, "leKeywordLabel");
    const auto *edit = Find<QWidget>(*keywords_, "leKeyword");
    EXPECT_EQ(label->x(), edit->x());
    EXPECT_NEAR(label->geometry().bottom() + 1 + keywords_->Scaled(3), edit->y(), 1);
}

TEST_F(DialogLayout, SettingsControlsSitWhereTheyBelong) {
    ExpectPlaces(*settings_, {
                                 {"GroupBox1", "SettingsForm", {7, 14, 149, 210}},
                                 {"COMcb", "GroupBox1", {15, 26, 61, 17}},
                                 {"NETcb", "GroupBox1", {15, 46, 61, 17}},
                                 {"ORGcb", "GroupBox1", {15, 66, 61, 17}},
                                 {"BIZcb", "GroupBox1", {15, 91, 61, 17}},
                                 {"UScb", "GroupBox1", {15, 116, 61, 17}},
                                 {"INFOcb", "GroupBox1", {15, 141, 61, 17}},
                                 {"COUKcb", "GroupBox1", {15, 166, 61, 17}},
                                 {"GroupBox2", "SettingsForm", {174, 14, 154, 90}},
                                 {"HyphensCheckBox", "GroupBox2", {19, 25, 81, 17}},
                                 {"AcronymsCheckBox", "GroupBox2", {19, 51, 81, 17}},
                                 {"BitBtn1", "SettingsForm", {469, 396, 71, 32}},
                                 {"rgCheck", "SettingsForm", {340, 14, 200, 64}},
                                 {"rgLinksFrom", "SettingsForm", {340, 86, 200, 64}},
                                 {"rgRankFrom", "SettingsForm", {340, 158, 200, 64}},
                                 {"GroupBox4", "SettingsForm", {340, 239, 200, 61}},
                                 {"leSuffixes", "GroupBox4", {12, 24, 176, 21}},
                                 {"rgShowDomain", "SettingsForm", {174, 133, 153, 91}},
                                 {"GroupBox3", "SettingsForm", {8, 239, 318, 61}},
                                 {"leRegService", "GroupBox3", {57, 24, 244, 21}},
                                 {"JobsLabel", "SettingsForm", {174, 111, 90, 15}},
                                 {"seJobs", "SettingsForm", {268, 108, 59, 21}},
                                 {"cbCache", "SettingsForm", {12, 402, 200, 17}},
                                 {"GroupBox5", "SettingsForm", {8, 310, 532, 80}},
                                 {"leBefore", "GroupBox5", {100, 22, 160, 21}},
                                 {"leAfter", "GroupBox5", {360, 22, 160, 21}},
                                 {"cbCommonAffixes", "GroupBox5", {12, 52, 196, 17}},
                                 {"cbSuffixHacks", "GroupBox5", {214, 52, 146, 17}},
                                 {"cbMaxLength", "GroupBox5", {366, 52, 64, 17}},
                                 {"seMaxLength", "GroupBox5", {432, 50, 44, 21}},
                             });
    const auto *label = Find<QWidget>(*settings_, "leRegServiceLabel");
    EXPECT_NEAR(label->geometry().right() + 1 + settings_->Scaled(3),
                Find<QWidget>(*settings_, "leRegService")->x(), 1);
}

TEST_F(DialogLayout, FocusMovesInTheDialogsOrder) {
    ExpectFocusOrder(*keywords_, {"BitBtn1", "BitBtn2", "Exact phrase", "All variants", "leKeyword",
                                  "AddBtn", "BitBtn4", "BitBtn5", "KeywordsListBox"});
    ExpectFocusOrder(*settings_, {"COMcb",
                                  "NETcb",
                                  "ORGcb",
                                  "BIZcb",
                                  "UScb",
                                  "INFOcb",
                                  "COUKcb",
                                  "HyphensCheckBox",
                                  "AcronymsCheckBox",
                                  "seJobs",
                                  "BitBtn1",
                                  "Available domain Only",
                                  "All domain names",
                                  "registry records (DNS + RDAP)",
                                  "web site answer",
                                  "the index when present",
                                  "the web",
                                  "the index when present",
                                  "the web",
                                  "leRegService",
                                  "leSuffixes",
                                  "leBefore",
                                  "leAfter",
                                  "cbCommonAffixes",
                                  "cbSuffixHacks",
                                  "cbMaxLength",
                                  "seMaxLength",
                                  "cbCache"});
}

TEST_F(DialogLayout, EveryCaptionFitsAndNoControlIsCutOff) {
    for (QWidget *form : Forms()) {
        for (QWidget *control : form->findChildren<QWidget *>()) {
            if (!control->isVisibleTo(form))
                continue;
            SCOPED_TRACE(Id(*control).toStdString());
            EXPECT_TRUE(ui::CaptionFits(*control));
            EXPECT_TRUE(control->parentWidget()->rect().contains(control->geometry()));
        }
    }
}

TEST_F(DialogLayout, ButtonsCarryTheirPictures) {
    for (const char *name : {"AddBtn", "BitBtn4", "BitBtn5", "BitBtn2", "BitBtn1"}) {
        SCOPED_TRACE(name);
        const auto *button = Find<QPushButton>(*keywords_, name);
        EXPECT_EQ(button->iconSize(), QSize(16, 16));
        EXPECT_FALSE(button->icon().pixmap(16, 16).isNull());
    }
}

// Renders both dialogs into the build folder, so that they can be looked at.
TEST_F(DialogLayout, Screenshots) {
    const QString folder = QStringLiteral(NIMBREL_BINARY_DIR "/screenshots");
    ASSERT_TRUE(QDir().mkpath(folder));
    // The name choices in use, so that the pictures show them and the count they give.
    Find<QLineEdit>(*settings_, "leBefore")->setText(QStringLiteral("get, try"));
    Find<QLineEdit>(*settings_, "leAfter")->setText(QStringLiteral("hq, app"));
    Find<QCheckBox>(*settings_, "cbSuffixHacks")->setChecked(true);
    Find<QCheckBox>(*settings_, "cbMaxLength")->setChecked(true);
    Find<QCheckBox>(*settings_, "NETcb")->setChecked(true);
    keywords_->hide();
    keywords_->show();
    const std::pair<QWidget *, const char *> shots[] = {
        {keywords_.get(), "keywords-dialog.png"},
        {settings_.get(), "settings-dialog.png"},
    };
    for (const auto &[form, file] : shots) {
        const QPixmap picture = form->grab();
        EXPECT_EQ(picture.size(), form->size());
        EXPECT_TRUE(picture.save(folder + "/" + file));
    }
}

} // namespace
