#include "ui/Unit1.h"

#include "results/ResultsFile.h"
#include "tests/support/TempFolder.h"
#include "tests/ui_main/MainWindowSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <utility>

namespace {

class NothingLost : public ::testing::Test, public MainWindowFixture {
protected:
    NothingLost() {
        ShownMessages().clear();
        results::ResultList other;
        other.Append()->SetCaption("opened.com");
        results::WriteResultsFile(resultsFile, other);
    }

    // Rows that are on screen and saved nowhere.
    void Fill() {
        form.Results().Clear();
        for (const char *name : {"car.com", "shop.net"})
            form.Results().Append()->SetCaption(name);
        ASSERT_TRUE(form.HasUnsavedResults());
    }

    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (int i = 0; i < form.Results().Count(); ++i)
            names.push_back(form.Results().Row(i)->Caption());
        return names;
    }

    const std::vector<std::string> filled{"car.com", "shop.net"};
    TempFolder folder;
    const std::string resultsFile = folder.PathOf("other.nbr");
};

TEST_F(NothingLost, AFileThatCannotBeLoadedKeepsTheRowsAndSaysWhy) {
    std::filesystem::create_directory(folder.PathOf("folder.nbr"));
    const char binary[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\n[\x01\x02]\n[x\xff]\nkey=\x80\n";
    std::ofstream(folder.PathOf("binary.nbr"), std::ios::binary)
        << std::string(binary, sizeof binary - 1);
    std::ofstream(folder.PathOf("text.nbr")) << "just some words\nand more\n";
    std::ofstream(folder.PathOf("locked.nbr")) << "[item0]\ndomain=a.com\n";
    std::filesystem::permissions(folder.PathOf("locked.nbr"), std::filesystem::perms::none);
    struct Case {
        std::string file;
        std::string reason;
    } cases[] = {
        {folder.PathOf("missing.nbr"), "No such file or directory"},
        {folder.PathOf("folder.nbr"), ""},
        {folder.PathOf("binary.nbr"), "It is not a results file"},
        {folder.PathOf("text.nbr"), "It is not a results file"},
        {folder.PathOf("locked.nbr"), "Permission denied"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        // The superuser reads any file.
        if (c.reason == "Permission denied" && ::geteuid() == 0)
            continue;
        Fill();
        ShownMessages().clear();
        fileAnswers = {c.file};
        Action("Open1")->trigger();
        EXPECT_EQ(Names(), filled);
        EXPECT_TRUE(form.HasUnsavedResults());
        ASSERT_EQ(ShownMessages().size(), 1u);
        const std::string &message = ShownMessages()[0];
        EXPECT_EQ(message.rfind("Could not open " + c.file + ": " + c.reason, 0), 0u) << message;
        EXPECT_TRUE(message.ends_with(". The results on screen are kept.")) << message;
    }
}

TEST_F(NothingLost, CommandsAskBeforeUnsavedRowsGo) {
    enum Command { Exit, CloseBox, Start, Open };
    struct Case {
        Command command;
        QMessageBox::StandardButton answer;
        bool saveDialogAnswered; // with Save: a file chosen, or the dialog cancelled
        bool goesOn;
    } cases[] = {
        {Exit, QMessageBox::Cancel, false, false},     {Exit, QMessageBox::Discard, false, true},
        {Exit, QMessageBox::Save, true, true},         {Exit, QMessageBox::Save, false, false},
        {CloseBox, QMessageBox::Cancel, false, false}, {CloseBox, QMessageBox::Save, true, true},
        {Start, QMessageBox::Cancel, false, false},    {Start, QMessageBox::Discard, false, true},
        {Start, QMessageBox::Save, true, true},        {Open, QMessageBox::Cancel, false, false},
        {Open, QMessageBox::Discard, false, true},     {Open, QMessageBox::Save, true, true},
        {Open, QMessageBox::Save, false, false},
    };
    const std::string saved = folder.PathOf("saved.nbr");
    bool keywordsShown = false;
    bool watching = false;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "command " << c.command << " answer " << c.answer
                                        << (c.saveDialogAnswered ? " saved" : ""));
        std::filesystem::remove(saved);
        form.show();
        Fill();
        saveQuestion.answer = c.answer;
        saveQuestion.asked = 0;
        fileAnswers.clear();
        if (c.answer == QMessageBox::Save)
            fileAnswers.push_back(c.saveDialogAnswered ? std::optional(saved) : std::nullopt);
        switch (c.command) {
        case Exit:
            Action("Exit1")->trigger();
            EXPECT_EQ(form.isVisible(), !c.goesOn);
            break;
        case CloseBox:
            form.close();
            EXPECT_EQ(form.isVisible(), !c.goesOn);
            break;
        case Start:
            keywordsShown = false;
            // A watcher whose dialog did not show stays for the next one.
            if (!std::exchange(watching, true)) {
                WhenShown<ui::TStartForm>([&](ui::TStartForm &dialog) {
                    watching = false;
                    keywordsShown = true;
                    AnswerCancel(dialog);
                });
            }
            Button("BitBtn2")->click();
            EXPECT_EQ(keywordsShown, c.goesOn);
            break;
        case Open:
            fileAnswers.push_back(resultsFile);
            Action("Open1")->trigger();
            EXPECT_EQ(Names() == std::vector<std::string>{"opened.com"}, c.goesOn);
            break;
        }
        EXPECT_EQ(saveQuestion.asked, 1);
        EXPECT_EQ(std::filesystem::exists(saved), c.saveDialogAnswered);
        EXPECT_TRUE(ShownMessages().empty());
    }
}

TEST_F(NothingLost, NoQuestionWithoutChangesSinceTheLastSaveOrLoad) {
    form.show();
    // Nothing on screen.
    Action("Exit1")->trigger();
    EXPECT_FALSE(form.isVisible());

    // Just loaded.
    form.show();
    fileAnswers = {resultsFile};
    Action("Open1")->trigger();
    ASSERT_EQ(Names(), std::vector<std::string>{"opened.com"});
    EXPECT_FALSE(form.HasUnsavedResults());
    Action("Exit1")->trigger();
    EXPECT_FALSE(form.isVisible());

    // Just saved.
    form.show();
    Fill();
    fileAnswers = {folder.PathOf("saved.nbr")};
    Action("Save1")->trigger();
    EXPECT_FALSE(form.HasUnsavedResults());
    Action("Exit1")->trigger();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(saveQuestion.asked, 0);

    // A changed check mark is a change again.
    form.show();
    form.Results().Row(0)->SetChecked(!form.Results().Row(0)->Checked());
    EXPECT_TRUE(form.HasUnsavedResults());
}

TEST_F(NothingLost, ASearchThatFoundRowsIsAChange) {
    form.show();
    Search({"car"});
    ASSERT_EQ(form.Results().Count(), 1);
    EXPECT_TRUE(form.HasUnsavedResults());
    saveQuestion.answer = QMessageBox::Cancel;
    Action("Exit1")->trigger();
    EXPECT_EQ(saveQuestion.asked, 1);
    EXPECT_TRUE(form.isVisible());
}

} // namespace
