#pragma once

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>
#include <string>

// The widgets under test need one application object, created before the first test and
// destroyed after the last one; without a display the offscreen platform draws into memory.
// A test folder registers it once: testing::AddGlobalTestEnvironment(new QtTestEnvironment(...)).
class QtTestEnvironment : public testing::Environment {
public:
    explicit QtTestEnvironment(std::string programName) : name_(std::move(programName)) {}

    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        argv_[0] = name_.data();
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    std::string name_;
    int argc_ = 1;
    char *argv_[2] = {nullptr, nullptr};
    std::unique_ptr<QApplication> app_;
};
