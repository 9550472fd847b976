#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The widgets under test need one application object, created before the first test and
// destroyed after the last one; without a display the offscreen platform draws into memory.
class QtApplicationEnvironment : public testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "tests_ui_about";
    char *argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] testing::Environment *const environment =
    testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

} // namespace
