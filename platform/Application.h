#pragma once

#include <string>

namespace platform {

// How a page opened through the shell is shown.
enum class ShowWindow { Normal, Maximized };

// What the program asks of the window system. One process-wide instance is installed at
// start-up: the Qt one in the window program, a scripted fake in tests. Without one installed,
// the free functions below do nothing and answer "not pressed".
class Application {
public:
    virtual ~Application() = default;

    // Dispatches every pending window message, then returns.
    virtual void ProcessMessages() = 0;
    // Dispatches the pending window messages while the program waits for work done on another
    // thread. Unlike ProcessMessages it is no fixed point of a run: a run drains there no more
    // and no less than it would if the work ran on the window's thread.
    virtual void KeepResponsive() { ProcessMessages(); }
    // Whether the Escape key is held down at this moment.
    virtual bool IsEscapeDown() = 0;
    // Hands an address (web page, mail address, file) to the desktop; never checked.
    virtual void ShellOpen(const std::string &address, ShowWindow show) = 0;
    // A message box titled with the program's name, with an OK button.
    virtual void ShowMessage(const std::string &text) = 0;
    // The busy cursor; every ShowBusyCursor is paired with one RestoreCursor.
    virtual void ShowBusyCursor() = 0;
    virtual void RestoreCursor() = 0;
};

// The installed instance, or nullptr.
Application *CurrentApplication();
// Installs app (nullptr removes it) and returns the one it replaces.
Application *SetApplication(Application *app);

void ProcessMessages();
void KeepResponsive();
bool IsEscapeDown();
void ShellOpen(const std::string &address, ShowWindow show = ShowWindow::Normal);
void ShowMessage(const std::string &text);

// Installs an application for the lifetime of a scope, then puts the previous one back.
class ScopedApplication {
public:
    explicit ScopedApplication(Application *app) : previous_(SetApplication(app)) {}
    ~ScopedApplication() { SetApplication(previous_); }
    ScopedApplication(const ScopedApplication &) = delete;
    ScopedApplication &operator=(const ScopedApplication &) = delete;

private:
    Application *previous_;
};

} // namespace platform
