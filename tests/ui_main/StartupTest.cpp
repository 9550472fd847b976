#include "platform/SingleInstance.h"
#include "tests/support/TempConfigHome.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QString kProgram = QStringLiteral(NIMBREL_BINARY_DIR "/ui/nimbrel");

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        runtime = home.Folder() / "runtime";
        std::filesystem::create_directory(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString(home.Folder().string()));
        // No index of the user's: the window asks the web.
        environment.insert("XDG_DATA_HOME", QString::fromStdString(home.Folder().string()));
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("XDG_RUNTIME_DIR"); }

    void Start(QProcess &process) {
        process.setProcessEnvironment(environment);
        process.start(kProgram, {});
        ASSERT_TRUE(process.waitForStarted(5000));
    }

    // Whether some process holds the program's lock, asked without taking it for long.
    bool LockIsHeld() {
        const int fd = ::open((runtime / "Nimbrel.lock").c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return held;
    }

    TempConfigHome home;
    std::filesystem::path runtime;
    QProcessEnvironment environment;
};

TEST_F(Startup, SecondCopyEndsAtOnceWithCodeZero) {
    platform::SingleInstance first("Nimbrel");
    ASSERT_FALSE(first.FindOtherInstance());
    QProcess second;
    Start(second);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().isEmpty());
}

TEST_F(Startup, SecondCopyEndsWhileTheFirstRuns) {
    QProcess first;
    Start(first);
    // The first copy takes the lock before it creates any window.
    QDeadlineTimer deadline(10000);
    while (!LockIsHeld() && !deadline.hasExpired() && first.state() == QProcess::Running)
        QThread::msleep(10);
    ASSERT_TRUE(LockIsHeld());

    QProcess second;
    Start(second);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_FALSE(LockIsHeld()) << "the lock ends with its copy";
}

TEST_F(Startup, HelpPageStandsBesideTheProgram) {
    QFile help(QStringLiteral(NIMBREL_BINARY_DIR "/ui/help.html"));
    ASSERT_TRUE(help.open(QIODevice::ReadOnly));
    EXPECT_TRUE(help.readAll().contains("Nimbrel"));
}

} // namespace
