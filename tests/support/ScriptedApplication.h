#pragma once

#include "platform/Application.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

// An Application for tests: counts the drains of the message queue and runs the actions queued
// for a given drain (a Stop, a second Start, a file load) as if the user had acted then. It
// records what would have reached the screen. Installs itself for its lifetime.
class ScriptedApplication : public platform::Application {
public:
    ScriptedApplication() : previous_(platform::SetApplication(this)) {}
    ~ScriptedApplication() override { platform::SetApplication(previous_); }
    ScriptedApplication(const ScriptedApplication &) = delete;
    ScriptedApplication &operator=(const ScriptedApplication &) = delete;

    // Runs action during drain number `drain` (1 for the first drain).
    void AtDrain(int drain, std::function<void()> action) {
        actions_[drain].push_back(std::move(action));
    }
    // Runs action at the next drain.
    void AtNextDrain(std::function<void()> action) { AtDrain(drains_ + 1, std::move(action)); }

    void ProcessMessages() override {
        const int drain = ++drains_;
        auto found = actions_.find(drain);
        if (found == actions_.end())
            return;
        auto actions = std::move(found->second);
        actions_.erase(found);
        for (auto &action : actions)
            action();
    }
    // The waits for work on another thread are not drains: scripted actions keep their places.
    void KeepResponsive() override {
        ++waits;
        if (whileWaiting)
            whileWaiting();
    }
    bool IsEscapeDown() override { return escapeDown; }
    void ShellOpen(const std::string &address, platform::ShowWindow show) override {
        opened.push_back(address);
        openedMaximized.push_back(show == platform::ShowWindow::Maximized);
    }
    void ShowMessage(const std::string &text) override { messages.push_back(text); }
    void ShowBusyCursor() override {
        ++busyDepth;
        ++busyShown;
    }
    void RestoreCursor() override { --busyDepth; }

    int Drains() const { return drains_; }

    bool escapeDown = false;
    int waits = 0;
    std::function<void()> whileWaiting;
    std::vector<std::string> opened;
    std::vector<bool> openedMaximized;
    std::vector<std::string> messages;
    int busyDepth = 0;
    int busyShown = 0;

private:
    platform::Application *previous_;
    std::map<int, std::vector<std::function<void()>>> actions_;
    int drains_ = 0;
};
