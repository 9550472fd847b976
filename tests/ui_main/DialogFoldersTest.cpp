#include "ui/Unit1.h"

#include "tests/support/TempFolder.h"
#include "tests/ui_main/MainWindowSupport.h"
#include "ui/WindowStore.h"

#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

#include <fstream>

namespace {

// Where the file dialogs start, and what a failed save tells the user.
class DialogFolders : public ::testing::Test, public MainWindowFixture {
protected:
    DialogFolders() {
        form.Results().Append()->SetCaption("car.com");
        ShownMessages().clear();
    }

    // Runs an action whose file dialog is answered with answer, and returns the folder the
    // dialog started in.
    QString StartedIn(const char *action, std::optional<std::string> answer = std::nullopt) {
        askedDialogs.clear();
        fileAnswers = {answer};
        Action(action)->trigger();
        return askedDialogs.empty() ? QString() : askedDialogs.back().folder;
    }

    static QString Folder(const TempFolder &folder) {
        return QDir(QString::fromStdString(folder.Path().string())).absolutePath();
    }

    TempFolder elsewhere{"nimbrel-elsewhere"};
    TempFolder other{"nimbrel-other"};
};

TEST_F(DialogFolders, FirstDialogsStartInTheDocumentsFolderNeverTheProgramFolder) {
    const QString documents = QDir(ui::DocumentsFolder()).absolutePath();
    const QString program = QDir(QCoreApplication::applicationDirPath()).absolutePath();
    for (const char *action : {"Open1", "Save1", "Savetotextfile1"}) {
        SCOPED_TRACE(action);
        const QString folder = StartedIn(action);
        EXPECT_EQ(folder, documents);
        EXPECT_NE(folder, program);
    }
}

TEST_F(DialogFolders, EachKindStartsWhereItWasLastSaved) {
    EXPECT_EQ(StartedIn("Save1", elsewhere.PathOf("found.nbr")), ui::DocumentsFolder());
    ASSERT_FALSE(FileContents(elsewhere.PathOf("found.nbr")).empty());
    // Saving results elsewhere moves both results dialogs there, not the names list's.
    EXPECT_EQ(StartedIn("Save1"), Folder(elsewhere));
    EXPECT_EQ(StartedIn("Open1"), Folder(elsewhere));
    EXPECT_EQ(StartedIn("Savetotextfile1", other.PathOf("names.txt")), ui::DocumentsFolder());
    EXPECT_EQ(StartedIn("Savetotextfile1"), Folder(other));
    EXPECT_EQ(StartedIn("Save1"), Folder(elsewhere));
    // Remembered in the per-user store, so a later run starts there too.
    EXPECT_EQ(ui::StartFolder(ui::FileKind::Results), Folder(elsewhere));
    EXPECT_EQ(ui::StartFolder(ui::FileKind::NamesList), Folder(other));
    EXPECT_TRUE(ShownMessages().empty());
}

TEST_F(DialogFolders, OpeningAFileRemembersItsFolder) {
    StartedIn("Save1", elsewhere.PathOf("found.nbr"));
    StartedIn("Open1", elsewhere.PathOf("found.nbr"));
    EXPECT_EQ(StartedIn("Save1"), Folder(elsewhere));
}

TEST_F(DialogFolders, AFolderThatHasGoneFallsBackToTheDocumentsFolder) {
    {
        TempFolder gone{"nimbrel-gone"};
        StartedIn("Save1", gone.PathOf("found.nbr"));
    }
    EXPECT_EQ(StartedIn("Save1"), ui::DocumentsFolder());
}

TEST_F(DialogFolders, AFailedSaveNamesTheUsersFileAndIsNotRemembered) {
    // A file where the folder should be: nothing can be created inside it.
    std::ofstream(elsewhere.PathOf("not-a-folder")) << "x";
    const std::string target = elsewhere.PathOf("not-a-folder") + "/only-a-name.nbr";
    StartedIn("Save1", target);
    ASSERT_EQ(ShownMessages().size(), 1u);
    EXPECT_EQ(ShownMessages()[0], "Could not save results to " + target +
                                      ": Not a directory (no temporary file could be created "
                                      "beside it).");
    const std::string names = elsewhere.PathOf("not-a-folder") + "/names.txt";
    StartedIn("Savetotextfile1", names);
    ASSERT_EQ(ShownMessages().size(), 2u);
    EXPECT_EQ(ShownMessages()[1].rfind("Could not save the names list to " + names + ": Not a", 0),
              0u);
    EXPECT_EQ(StartedIn("Save1"), ui::DocumentsFolder());
    EXPECT_EQ(StartedIn("Savetotextfile1"), ui::DocumentsFolder());
}

} // namespace
