#include "ui/QtApplication.h"

#include "base/Exception.h"
#include "platform/Application.h"
#include "tests/ui_dialogs/DialogTestSupport.h"
#include "tests/ui_dialogs/UrlRecorder.h"
#include "ui/QtText.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

constexpr QEvent::Type kCommandEvent = QEvent::User;

// Runs a command whenever it receives the command event, as a window runs a user's command.
class CommandTarget : public QObject {
public:
    explicit CommandTarget(std::function<void()> command) : command_(std::move(command)) {}
    bool event(QEvent *event) override {
        if (event->type() != kCommandEvent)
            return QObject::event(event);
        command_();
        return true;
    }

private:
    std::function<void()> command_;
};

struct Failure {
    const char *name;
    std::function<void()> raise;
    std::string message;
};

const std::vector<Failure> &Failures() {
    static const std::vector<Failure> failures = {
        {"own exception", [] { throw base::EConvertError("'x' is not a valid integer value"); },
         "'x' is not a valid integer value"},
        {"standard exception", [] { throw std::runtime_error("disk full"); }, "disk full"},
        {"anything else", [] { throw 42; }, "An unknown error occurred."},
    };
    return failures;
}

class QtApplicationTest : public ::testing::Test {
protected:
    QtApplicationTest() { ShownMessages().clear(); }
    ui::QtApplication &App() { return *ui::QtApplication::Instance(); }
};

TEST_F(QtApplicationTest, IsTheInstalledApplication) {
    EXPECT_EQ(platform::CurrentApplication(), &App());
    platform::ShowMessage("Hello");
    EXPECT_EQ(ShownMessages(), std::vector<std::string>{"Hello"});
}

TEST_F(QtApplicationTest, ExceptionLeavingAnEventIsShownAndTheProgramGoesOn) {
    for (const Failure &failure : Failures()) {
        SCOPED_TRACE(failure.name);
        ShownMessages().clear();
        int afterwards = 0;
        CommandTarget target(failure.raise);
        CommandTarget next([&] { ++afterwards; });

        QEvent sent(kCommandEvent);
        EXPECT_FALSE(QCoreApplication::sendEvent(&target, &sent));
        QCoreApplication::postEvent(&target, new QEvent(kCommandEvent));
        QCoreApplication::postEvent(&next, new QEvent(kCommandEvent));
        platform::ProcessMessages();

        EXPECT_EQ(ShownMessages(), std::vector<std::string>(2, failure.message));
        EXPECT_EQ(afterwards, 1);
    }
}

TEST_F(QtApplicationTest, ExceptionLeavingAQueuedCommandIsShown) {
    bool later = false;
    QTimer::singleShot(0, &App(), [] { throw std::runtime_error("queued"); });
    QTimer::singleShot(0, &App(), [&] { later = true; });
    platform::ProcessMessages();
    EXPECT_EQ(ShownMessages(), std::vector<std::string>{"queued"});
    EXPECT_TRUE(later);
}

TEST_F(QtApplicationTest, GuardedCommandReportsItsExceptionAtTheSlot) {
    for (const Failure &failure : Failures()) {
        SCOPED_TRACE(failure.name);
        ShownMessages().clear();
        QPushButton button;
        int clicks = 0;
        QObject::connect(&button, &QPushButton::clicked, &button, ui::Guarded([&] {
            ++clicks;
            failure.raise();
        }));
        button.click();
        button.click();
        EXPECT_EQ(clicks, 2);
        EXPECT_EQ(ShownMessages(), std::vector<std::string>(2, failure.message));
    }
}

TEST_F(QtApplicationTest, EscapeIsDownFromItsPressToItsRelease) {
    struct Case {
        const char *name;
        std::vector<std::function<void(QObject &)>> events;
        bool down;
    };
    const auto send = [](QEvent::Type type, int key, bool autoRepeat = false) {
        return [=](QObject &target) {
            QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
            QCoreApplication::sendEvent(&target, &event);
        };
    };
    const auto leaveApplication = [](QObject &) {
        QApplicationStateChangeEvent event(Qt::ApplicationInactive);
        QCoreApplication::sendEvent(qApp, &event);
    };
    const std::vector<Case> cases = {
        {"nothing", {}, false},
        {"pressed", {send(QEvent::KeyPress, Qt::Key_Escape)}, true},
        {"released",
         {send(QEvent::KeyPress, Qt::Key_Escape), send(QEvent::KeyRelease, Qt::Key_Escape)},
         false},
        {"held and repeating",
         {send(QEvent::KeyPress, Qt::Key_Escape), send(QEvent::KeyRelease, Qt::Key_Escape, true)},
         true},
        {"another key released",
         {send(QEvent::KeyPress, Qt::Key_Escape), send(QEvent::KeyRelease, Qt::Key_A)},
         true},
        {"another key only", {send(QEvent::KeyPress, Qt::Key_A)}, false},
        {"program left while held",
         {send(QEvent::KeyPress, Qt::Key_Escape), leaveApplication},
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QWidget window;
        send(QEvent::KeyRelease, Qt::Key_Escape)(window);
        for (const auto &event : c.events)
            event(window);
        EXPECT_EQ(platform::IsEscapeDown(), c.down);
    }
    QWidget window;
    send(QEvent::KeyRelease, Qt::Key_Escape)(window);
}

TEST_F(QtApplicationTest, BusyCursorIsRestoredExactly) {
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    App().ShowBusyCursor();
    App().ShowBusyCursor();
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    App().RestoreCursor();
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
    App().RestoreCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // A restore without a busy cursor leaves somebody else's cursor alone.
    QGuiApplication::setOverrideCursor(Qt::CrossCursor);
    App().RestoreCursor();
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QGuiApplication::restoreOverrideCursor();
}

TEST_F(QtApplicationTest, ShellOpenHandsTheAddressToTheDesktop) {
    UrlRecorder recorder;
    for (const char *scheme : {"http", "mailto", "file"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &recorder, "Open");
    struct Case {
        const char *address;
        const char *url;
    };
    const Case cases[] = {
        {"http://www.example.com/", "http://www.example.com/"},
        {"mailto:info@example.com", "mailto:info@example.com"},
        {"/opt/nimbrel/help.html", "file:///opt/nimbrel/help.html"},
    };
    for (const Case &c : cases) {
        recorder.opened.clear();
        platform::ShellOpen(c.address, platform::ShowWindow::Maximized);
        EXPECT_EQ(recorder.opened, QStringList{QString::fromLatin1(c.url)}) << c.address;
    }
    recorder.opened.clear();
    platform::ShellOpen("");
    EXPECT_TRUE(recorder.opened.isEmpty());
    for (const char *scheme : {"http", "mailto", "file"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

TEST(QtText, ReadsUtf8OrElseWindows1252AndWritesUtf8) {
    EXPECT_EQ(ui::ToQString("caf\xC3\xA9"), QStringLiteral("caf\u00E9"));
    EXPECT_EQ(ui::ToQString("caf\xE9 \x80"), QStringLiteral("caf\u00E9 \u20AC"));
    EXPECT_EQ(ui::ToStdString(QStringLiteral("caf\u00E9 \u20AC")), "caf\xC3\xA9 \xE2\x82\xAC");
}

} // namespace
