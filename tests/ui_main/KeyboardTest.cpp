#include "ui/Unit1.h"

#include "controls/OvalBtn.h"
#include "tests/support/TempFolder.h"
#include "tests/ui_main/MainWindowSupport.h"
#include "ui/ResultListView.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <gtest/gtest.h>

namespace {

// The names the status text had each time assistive tools were told that it changed. The
// platform passes such events on only while its accessibility is on, which the offscreen
// platform turns on only when asked through its private interface, as Qt's own tests ask.
class StatusNameEvents {
public:
    explicit StatusNameEvents(QObject &status) {
        Status() = &status;
        Names().clear();
        previous_ = QAccessible::installUpdateHandler(Record);
        Platform()->setActive(true);
    }
    ~StatusNameEvents() {
        Platform()->setActive(false);
        QAccessible::installUpdateHandler(previous_);
        Status() = nullptr;
    }
    StatusNameEvents(const StatusNameEvents &) = delete;
    StatusNameEvents &operator=(const StatusNameEvents &) = delete;

    static std::vector<std::string> &Names() {
        static std::vector<std::string> names;
        return names;
    }

private:
    static QPlatformAccessibility *Platform() {
        return QGuiApplicationPrivate::platformIntegration()->accessibility();
    }
    static QObject *&Status() {
        static QObject *status = nullptr;
        return status;
    }
    static void Record(QAccessibleEvent *event) {
        if (event->type() == QAccessible::NameChanged && event->object() == Status())
            Names().push_back(event->accessibleInterface()->text(QAccessible::Name).toStdString());
    }

    QAccessible::UpdateHandler previous_;
};

class Keyboard : public ::testing::Test, public MainWindowFixture {
protected:
    Keyboard() {
        form.show();
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    // Presses Tab in window until the control named name has the focus; false when it never
    // gets it.
    static bool TabTo(QWidget &window, const char *name) {
        for (int presses = 0; presses < 20; ++presses) {
            QWidget *focus = window.focusWidget();
            if (focus && focus->objectName() == QLatin1String(name))
                return true;
            QTest::keyClick(focus ? focus : &window, Qt::Key_Tab);
        }
        return false;
    }
};

TEST_F(Keyboard, EscapeClosesTheKeywordsDialogAsCancelAndTheAboutBox) {
    bool keywordsShown = false;
    WhenShown<ui::TStartForm>([&](ui::TStartForm &dialog) {
        keywordsShown = true;
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Escape);
    });
    Button("BitBtn2")->click();
    EXPECT_TRUE(keywordsShown);
    EXPECT_FALSE(startForm.isVisible());
    EXPECT_TRUE(probes.log.empty()) << "no search";

    bool aboutShownHere = false;
    WhenShown<ui::TInfoForm>([&](ui::TInfoForm &dialog) {
        aboutShownHere = true;
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    Action("About1")->trigger();
    EXPECT_TRUE(aboutShownHere);
    EXPECT_FALSE(infoForm.isVisible());
}

TEST_F(Keyboard, EveryControlHasAnAccessibleNameAndDescription) {
    const QWidget *const windows[] = {&form, &startForm, &settingsForm, &infoForm};
    for (const QWidget *window : windows) {
        for (QWidget *control : window->findChildren<QWidget *>()) {
            const bool isControl = qobject_cast<QAbstractButton *>(control) ||
                                   qobject_cast<QLineEdit *>(control) ||
                                   qobject_cast<QGroupBox *>(control) ||
                                   qobject_cast<controls::TOvalButton *>(control) ||
                                   qobject_cast<QAbstractItemView *>(control) ||
                                   control->objectName() == QLatin1String("Image1");
            // The parts of the list (its header, its corner) belong to it; hidden ones are unused.
            // Only the window's own controls; the file dialog belongs to the toolkit.
            if (!isControl || control->window() != window || !control->isVisibleTo(window) ||
                qobject_cast<QAbstractItemView *>(control->parentWidget()) ||
                qobject_cast<QAbstractItemView *>(
                    control->parentWidget() ? control->parentWidget()->parentWidget() : nullptr))
                continue;
            SCOPED_TRACE(window->objectName().toStdString() + "/" +
                         control->objectName().toStdString());
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
            ASSERT_NE(accessible, nullptr);
            EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty());
            EXPECT_FALSE(accessible->text(QAccessible::Description).isEmpty());
        }
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Find<QWidget>(form, "ListView1"))
                  ->text(QAccessible::Name),
              "Domain names found");
}

TEST_F(Keyboard, AWholeSearchWithoutTheMouse) {
    TempFolder folder;
    const std::string saved = folder.PathOf("walk.nbr");
    fileAnswers = {saved};
    Find<QWidget>(form, "ListView1")->setFocus(Qt::TabFocusReason);

    ASSERT_TRUE(TabTo(form, "BitBtn2"));
    bool searched = false;
    WhenShown<ui::TStartForm>([&](ui::TStartForm &dialog) {
        QTest::keyClicks(dialog.focusWidget(), "car");
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
        if (!TabTo(dialog, "BitBtn1")) {
            AnswerCancel(dialog);
            return;
        }
        searched = true;
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
    });
    QTest::keyClick(form.focusWidget(), Qt::Key_Space);
    ASSERT_TRUE(searched);
    ASSERT_EQ(Rows(), std::vector<std::string>{AvailableRow("car.com", "com")});

    ASSERT_TRUE(TabTo(form, "ListView1"));
    QTest::keyClick(form.focusWidget(), Qt::Key_Down);
    EXPECT_EQ(form.Results().SelectedIndex(), 0);
    QTest::keyClick(form.focusWidget(), Qt::Key_Space);
    EXPECT_FALSE(form.Results().Row(0)->Checked());

    // Alt+R opens the Results menu, S saves. (The offscreen platform does not hand activation
    // back to the window when a dialog closes, as a window manager does.)
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_R, Qt::AltModifier);
    auto *menu = Find<QMenu>(form, "File1");
    ASSERT_TRUE(menu->isVisible());
    QTest::keyClick(menu, Qt::Key_S);
    EXPECT_NE(FileContents(saved).find("domain=car.com"), std::string::npos);
    EXPECT_NE(FileContents(saved).find("check=0"), std::string::npos);
}

TEST_F(Keyboard, AssistiveToolsReadAndHearTheStatusText) {
    auto *status = Find<QLabel>(form, "StatusText");
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(status);
    ASSERT_NE(accessible, nullptr);
    {
        const StatusNameEvents events(*status);
        Search({"car"});
        EXPECT_EQ(StatusNameEvents::Names(),
                  (std::vector<std::string>{"Checking... car.com", "Done!"}));
    }
    EXPECT_EQ(accessible->text(QAccessible::Name), "Done!");
    EXPECT_EQ(accessible->text(QAccessible::Description), "What the search is doing");
}

} // namespace
