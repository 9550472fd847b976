#pragma once

#include "core/KeywordsPrompt.h"
#include "ui/FixedDialog.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace core {
class SearchOptions;
}

namespace ui {

class RadioGroup;

// The keywords dialog that the Start command shows before every run. It edits the keywords and
// the search mode of the one search options record in place, and tells the Start command whether
// the user searched: only Search does; Cancel, Escape and the close box do not.
class TStartForm : public FixedDialog {
    Q_OBJECT

public:
    // Created once at start-up; loads the search mode into options.
    explicit TStartForm(core::SearchOptions &options, QWidget *parent = nullptr);

    // Shows the dialog modally; once it has closed, how the user left it.
    core::KeywordsAnswer AskKeywords();
    // How the dialog was left the last time it was shown (Cancel while it shows).
    core::KeywordsAnswer Answer() const { return answer_; }

    void FormCreate();
    void FormShow() override;
    void FormCloseQuery(bool &canClose) override;
    // Escape: Cancel.
    void EscapePressed() override;

    void AddBtnClick();
    // A key released in the edit; Enter adds.
    void leKeywordKeyUp(int key);
    // Remove: always the last keyword, whichever is selected.
    void BitBtn4Click();
    // Clear.
    void BitBtn5Click();
    // Search.
    void BitBtn1Click();
    // Cancel.
    void BitBtn2Click();
    void SearchRadioGroupClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void CreateControls();
    void SetFocusOrder();
    void DescribeControls();
    // Also shows how many names a search would check now.
    void ShowKeywords();
    void ShowNameCount();
    void WatchEditKeys(QEvent &event);

    core::SearchOptions &options_;
    QGroupBox *GroupBox1;
    QLineEdit *leKeyword;
    QPushButton *AddBtn;
    QPushButton *BitBtn4;
    QPushButton *BitBtn5;
    QListWidget *KeywordsListBox;
    // How many names a search would check, per suffix (the whole text in its tool tip).
    QLabel *NamesCountLabel;
    RadioGroup *SearchRadioGroup;
    // Names built from the keywords, or the web graph's names that contain them (`searchmode`).
    RadioGroup *SearchModeGroup = nullptr;
    QPushButton *BitBtn2;
    QPushButton *BitBtn1;
    core::KeywordsAnswer answer_ = core::KeywordsAnswer::Cancel;
    // Whether the Enter key now going up was pressed in the edit.
    bool enterPressedInEdit_ = false;
};

} // namespace ui
