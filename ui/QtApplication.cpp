#include "ui/QtApplication.h"

#include "base/Exception.h"
#include "ui/QtText.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMessageBox>
#include <QUrl>

namespace ui {
namespace {

constexpr const char *kCaption = "Nimbrel";
constexpr const char *kUnknownError = "An unknown error occurred.";

QtApplication *running = nullptr;

bool IsEscape(QEvent *event) {
    return static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape;
}

} // namespace

QtApplication::QtApplication(int &argc, char **argv)
    : QApplication(argc, argv), previous_(platform::SetApplication(this)) {
    running = this;
    installEventFilter(this);
}

QtApplication::~QtApplication() {
    removeEventFilter(this);
    platform::SetApplication(previous_);
    running = nullptr;
}

QtApplication *QtApplication::Instance() {
    return running;
}

void QtApplication::ProcessMessages() {
    processEvents(QEventLoop::AllEvents);
}

bool QtApplication::IsEscapeDown() {
    return escapeDown_;
}

void QtApplication::ShellOpen(const std::string &address, platform::ShowWindow) {
    // The browser decides how big its window is; the requested window state has no meaning here.
    if (address.empty())
        return;
    QDesktopServices::openUrl(QUrl::fromUserInput(ToQString(address)));
}

void QtApplication::ShowMessage(const std::string &text) {
    if (display_) {
        display_(text);
        return;
    }
    ShowMessageBox(text);
}

void QtApplication::ShowBusyCursor() {
    setOverrideCursor(Qt::WaitCursor);
    ++busyDepth_;
}

void QtApplication::RestoreCursor() {
    // Only our own override is taken back, never one that somebody else set.
    if (busyDepth_ == 0)
        return;
    --busyDepth_;
    restoreOverrideCursor();
}

QtApplication::MessageDisplay QtApplication::SetMessageDisplay(MessageDisplay display) {
    std::swap(display, display_);
    return display;
}

void QtApplication::HandleException(std::exception_ptr error) {
    ShowMessage(ExceptionMessage(error));
}

bool QtApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

bool QtApplication::eventFilter(QObject *watched, QEvent *event) {
    switch (event->type()) {
    case QEvent::KeyPress:
        if (IsEscape(event))
            escapeDown_ = true;
        break;
    case QEvent::KeyRelease:
        // Held keys repeat as release and press pairs; the key is still down during those.
        if (IsEscape(event) && !static_cast<QKeyEvent *>(event)->isAutoRepeat())
            escapeDown_ = false;
        break;
    case QEvent::ApplicationStateChange:
        // The release of a key held while switching away goes to another program.
        if (static_cast<QApplicationStateChangeEvent *>(event)->applicationState() !=
            Qt::ApplicationActive)
            escapeDown_ = false;
        break;
    default:
        break;
    }
    return QApplication::eventFilter(watched, event);
}

void QtApplication::ShowMessageBox(const std::string &text) {
    QWidget *parent = activeModalWidget() ? activeModalWidget() : activeWindow();
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kCaption), ToQString(text),
                    QMessageBox::Ok, parent);
    box.exec();
}

std::string ExceptionMessage(std::exception_ptr error) {
    if (!error)
        return kUnknownError;
    try {
        std::rethrow_exception(error);
    } catch (const base::Exception &e) {
        return e.Message();
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return kUnknownError;
    }
}

void HandleException(std::exception_ptr error) {
    if (running)
        running->HandleException(error);
}

} // namespace ui
