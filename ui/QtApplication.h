#pragma once

#include "platform/Application.h"

#include <QApplication>

#include <exception>
#include <functional>
#include <string>

namespace ui {

// The window program's application object and its side of the Application seam. Create exactly
// one, first thing in main(); it installs itself as the process-wide Application for its
// lifetime and takes over the default error handling: an exception that leaves a command is
// shown in a message box and the program carries on.
class QtApplication : public QApplication, public platform::Application {
    Q_OBJECT

public:
    // Every message box goes through this; tests replace it to see the texts.
    using MessageDisplay = std::function<void(const std::string &text)>;

    QtApplication(int &argc, char **argv);
    ~QtApplication() override;

    // The one instance, or nullptr.
    static QtApplication *Instance();

    void ProcessMessages() override;
    bool IsEscapeDown() override;
    void ShellOpen(const std::string &address, platform::ShowWindow show) override;
    void ShowMessage(const std::string &text) override;
    void ShowBusyCursor() override;
    void RestoreCursor() override;

    // Installs display (an empty one restores the message box) and returns the one it replaces.
    MessageDisplay SetMessageDisplay(MessageDisplay display);

    // The default error handling: the failure's message in a message box.
    void HandleException(std::exception_ptr error);

    bool notify(QObject *receiver, QEvent *event) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ShowMessageBox(const std::string &text);

    platform::Application *previous_;
    MessageDisplay display_;
    bool escapeDown_ = false;
    int busyDepth_ = 0;
};

// The text a failure shows: the message of the program's own exceptions, what() of any other
// standard exception, a fixed text for anything else.
std::string ExceptionMessage(std::exception_ptr error);

// Reports a failure through the default error handling of the running QtApplication.
void HandleException(std::exception_ptr error);

// Wraps a command for QObject::connect: an exception leaving it is reported right at the slot,
// so that it never unwinds through the toolkit's own frames on its way to notify().
template <class Command> auto Guarded(Command command) {
    return [command = std::move(command)]() mutable {
        try {
            command();
        } catch (...) {
            HandleException(std::current_exception());
        }
    };
}

} // namespace ui
