#include "ui/Unit1.h"

#include "results/ResultsFile.h"
#include "tests/ui_main/MainWindowSupport.h"
#include "ui/WindowStore.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

// The window's file commands through the toolkit's own file dialogs.
class FileCommands : public ::testing::Test, public MainWindowFixture {
protected:
    FileCommands() { form.SetFileChooser({}); }

    std::string TempFile(const std::string &name) { return (home.Folder() / name).string(); }

    static bool CompletionsShown() {
        for (QWidget *window : QApplication::topLevelWidgets())
            if (qobject_cast<QAbstractItemView *>(window) && window->isVisible())
                return true;
        return false;
    }
};

TEST_F(FileCommands, OpeningWhileCompletionsAreListedLeavesNoListBehind) {
    results::ResultList saved;
    saved.Append()->SetCaption("typed.com");
    results::WriteResultsFile(TempFile("typed.nbr"), saved);
    // The dialog starts where the file is, so that it lists the completions of the typed name.
    ui::RememberFolder(ui::FileKind::Results, TempFile("typed.nbr"));
    form.show();

    bool listed = false;
    WhenShown<QFileDialog>([&](QFileDialog &dialog) {
        auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        if (!edit || !edit->completer() || !buttons) {
            dialog.reject();
            return;
        }
        // The name as typed, without its extension, with the dialog listing what it may become.
        edit->setText(QString::fromStdString(TempFile("typed")));
        const QDeadlineTimer deadline(5000);
        while (!CompletionsShown() && !deadline.hasExpired()) {
            edit->completer()->complete();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        listed = CompletionsShown();
        buttons->button(QDialogButtonBox::Open)->click();
        if (dialog.isVisible())
            dialog.reject();
    });
    Action("Open1")->trigger();

    ASSERT_TRUE(listed) << "the dialog listed the completions";
    ASSERT_EQ(form.Results().Count(), 1);
    EXPECT_EQ(form.Results().Row(0)->Caption(), "typed.com");
    EXPECT_FALSE(CompletionsShown());
}

} // namespace
