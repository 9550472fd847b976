#include "ui/StartUnit.h"

#include "base/Exception.h"
#include "core/KeywordRules.h"
#include "core/NameCount.h"
#include "core/OptionsStore.h"
#include "core/SearchOptions.h"
#include "platform/Application.h"
#include "ui/DialogPictures.h"
#include "ui/QtApplication.h"
#include "ui/QtText.h"
#include "ui/RadioGroup.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <algorithm>
#include <utility>

namespace ui {
namespace {

constexpr int kItemHeight = 13;

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

TStartForm::TStartForm(core::SearchOptions &options, QWidget *parent)
    : FixedDialog(QStringLiteral("Keywords related to your business..."), 294, 397, parent),
      options_(options) {
    setObjectName(QStringLiteral("StartForm"));
    CreateControls();
    ScaleLayout();
    FitCaptions();
    SetFocusOrder();
    DescribeControls();
    FormCreate();
}

void TStartForm::CreateControls() {
    LoadDialogPictures();
    GroupBox1 = Place(new QGroupBox(QStringLiteral("Keywords:"), this), "GroupBox1",
                      QRect(10, 5, 276, 191));
    leKeyword = Place(new QLineEdit(GroupBox1), "leKeyword", QRect(11, 42, 254, 21));
    LabelAbove(leKeyword, QStringLiteral("Enter keyword here:"));
    leKeyword->installEventFilter(this);
    AddBtn = MakeButton(GroupBox1, "AddBtn", QStringLiteral("Add"), QRect(38, 69, 70, 25),
                        PicturePath("add"));
    BitBtn4 = MakeButton(GroupBox1, "BitBtn4", QStringLiteral("Remove"), QRect(118, 69, 70, 25),
                         PicturePath("remove"));
    BitBtn5 = MakeButton(GroupBox1, "BitBtn5", QStringLiteral("Clear"), QRect(196, 69, 70, 25),
                         PicturePath("clear"));
    KeywordsListBox = Place(new QListWidget(GroupBox1), "KeywordsListBox", QRect(10, 102, 255, 77));
    KeywordsListBox->setSortingEnabled(false);
    KeywordsListBox->setUniformItemSizes(true);

    NamesCountLabel = Place(new QLabel(this), "NamesCountLabel", QRect(12, 200, 272, 15));

    SearchRadioGroup =
        new RadioGroup(QStringLiteral("Search for..."),
                       {QStringLiteral("Exact phrase"), QStringLiteral("All variants")}, 2,
                       QRect(10, 220, 276, 52), this);
    SearchRadioGroup->setObjectName(QStringLiteral("SearchRadioGroup"));
    SearchModeGroup = new RadioGroup(QStringLiteral("Search for:"),
                                     {QStringLiteral("names built from the keywords"),
                                      QStringLiteral("linked names containing the keywords")},
                                     1, QRect(10, 278, 276, 62), this);
    SearchModeGroup->setObjectName(QStringLiteral("SearchModeGroup"));
    BitBtn2 = MakeButton(this, "BitBtn2", QStringLiteral("Cancel"), QRect(28, 352, 100, 35),
                         PicturePath("cancel"));
    BitBtn1 = MakeButton(this, "BitBtn1", QStringLiteral("Search"), QRect(169, 352, 100, 35),
                         PicturePath("search"));

    connect(AddBtn, &QPushButton::clicked, this, Guarded([this] { AddBtnClick(); }));
    connect(BitBtn4, &QPushButton::clicked, this, Guarded([this] { BitBtn4Click(); }));
    connect(BitBtn5, &QPushButton::clicked, this, Guarded([this] { BitBtn5Click(); }));
    connect(BitBtn1, &QPushButton::clicked, this, Guarded([this] { BitBtn1Click(); }));
    connect(BitBtn2, &QPushButton::clicked, this, Guarded([this] { BitBtn2Click(); }));
    connect(SearchRadioGroup, &RadioGroup::Changed, this,
            Guarded([this] { SearchRadioGroupClick(); }));
    connect(SearchModeGroup, &RadioGroup::Changed, this,
            Guarded([this] { options_.SetSearchMode(SearchModeGroup->ItemIndex()); }));
}

void TStartForm::SetFocusOrder() {
    QWidget *const order[] = {BitBtn1,
                              BitBtn2,
                              SearchRadioGroup->Button(0),
                              SearchRadioGroup->Button(1),
                              SearchModeGroup->Button(0),
                              SearchModeGroup->Button(1),
                              leKeyword,
                              AddBtn,
                              BitBtn4,
                              BitBtn5,
                              KeywordsListBox};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TStartForm::DescribeControls() {
    SetAccessibleTexts({
        {GroupBox1, "Keywords", "The keywords the search builds domain names from"},
        {leKeyword, "Keyword", "Type a keyword and press Enter to add it; up to three"},
        {AddBtn, "Add", "Adds the typed keyword to the list"},
        {BitBtn4, "Remove", "Removes the last keyword from the list"},
        {BitBtn5, "Clear", "Removes every keyword from the list"},
        {KeywordsListBox, "Keywords to search for", "The keywords added so far, in order"},
        {SearchRadioGroup, "Search for", "Whether names use the exact phrase or all variants"},
        {SearchRadioGroup->Button(0), "Exact phrase",
         "Names made of the keywords in the order typed"},
        {SearchRadioGroup->Button(1), "All variants",
         "Names made of the keywords in every order and combination"},
        {NamesCountLabel, "Names to check", "How many names a search would check now, per suffix"},
        {SearchModeGroup, "Search for",
         "Whether to build names from the keywords or to search the imported web graph"},
        {SearchModeGroup->Button(0), "Names built from the keywords",
         "Builds domain names from the keywords and checks them"},
        {SearchModeGroup->Button(1), "Linked names containing the keywords",
         "Lists the names of the imported web graph that contain every keyword, best linked "
         "first, and checks them"},
        {BitBtn2, "Cancel", "Closes the dialog without searching"},
        {BitBtn1, "Search", "Closes the dialog and searches for free domain names"},
    });
}

void TStartForm::FormCreate() {
    core::LoadSearchMode(options_);
    SearchRadioGroup->SetItemIndex(options_.searchfor());
    SearchModeGroup->SetItemIndex(options_.searchmode());
}

core::KeywordsAnswer TStartForm::AskKeywords() {
    ShowModal();
    return answer_;
}

void TStartForm::FormShow() {
    answer_ = core::KeywordsAnswer::Cancel;
    ShowKeywords();
    SearchRadioGroup->SetItemIndex(options_.searchfor());
    SearchModeGroup->SetItemIndex(options_.searchmode());
    leKeyword->setFocus(Qt::OtherFocusReason);
}

void TStartForm::FormCloseQuery(bool &canClose) {
    core::StoreSearchMode(options_);
    canClose = true;
}

void TStartForm::AddBtnClick() {
    // The text stays in the edit, selected, so that typing replaces it.
    leKeyword->setFocus(Qt::OtherFocusReason);
    leKeyword->selectAll();
    const std::string keyword = ToStdString(leKeyword->text());
    switch (core::AddKeyword(options_.keywords, keyword)) {
    case core::KeywordAdded::Added:
        ShowKeywords();
        return;
    case core::KeywordAdded::TooMany:
        platform::ShowMessage(core::kTooManyKeywords);
        return;
    case core::KeywordAdded::Refused:
        platform::ShowMessage(core::RefusedKeywordMessage(keyword));
        return;
    case core::KeywordAdded::Ignored:
        return;
    }
}

void TStartForm::leKeywordKeyUp(int key) {
    if (IsEnter(key))
        AddBtnClick();
}

void TStartForm::BitBtn4Click() {
    KeywordsListBox->setFocus(Qt::OtherFocusReason);
    if (options_.keywords.empty())
        return;
    options_.keywords.pop_back();
    ShowKeywords();
}

void TStartForm::BitBtn5Click() {
    options_.keywords.clear();
    ShowKeywords();
}

void TStartForm::BitBtn1Click() {
    if (options_.keywords.empty()) {
        platform::ShowMessage(core::kNoKeyword);
        return;
    }
    core::LowerKeywords(options_.keywords);
    ShowKeywords();
    platform::ProcessMessages();
    answer_ = core::KeywordsAnswer::Search;
    close();
}

void TStartForm::BitBtn2Click() {
    answer_ = core::KeywordsAnswer::Cancel;
    close();
}

void TStartForm::EscapePressed() {
    BitBtn2Click();
}

void TStartForm::SearchRadioGroupClick() {
    options_.SetSearchFor(SearchRadioGroup->ItemIndex());
    ShowNameCount();
}

bool TStartForm::eventFilter(QObject *watched, QEvent *event) {
    if (watched == leKeyword)
        WatchEditKeys(*event);
    return FixedDialog::eventFilter(watched, event);
}

void TStartForm::WatchEditKeys(QEvent &event) {
    switch (event.type()) {
    case QEvent::KeyPress: {
        const auto &key = static_cast<const QKeyEvent &>(event);
        if (IsEnter(key.key()) && !key.isAutoRepeat())
            enterPressedInEdit_ = true;
        break;
    }
    case QEvent::KeyRelease: {
        // A held key repeats as release and press pairs; only the real release counts.
        const auto &key = static_cast<const QKeyEvent &>(event);
        if (key.isAutoRepeat())
            break;
        // An Enter that closed a message box or pressed a button ends here once focus is back:
        // that is no Add, or "3 keywords" would come back with every Enter that dismisses it.
        if (IsEnter(key.key()) && !std::exchange(enterPressedInEdit_, false))
            break;
        leKeywordKeyUp(key.key());
        break;
    }
    case QEvent::FocusOut:
        enterPressedInEdit_ = false;
        break;
    default:
        break;
    }
}

void TStartForm::ShowKeywords() {
    KeywordsListBox->clear();
    for (const std::string &keyword : options_.keywords) {
        auto *item = new QListWidgetItem(ToQString(keyword), KeywordsListBox);
        item->setSizeHint(QSize(0, Scaled(kItemHeight)));
    }
    ShowNameCount();
}

void TStartForm::ShowNameCount() {
    std::string text;
    if (!options_.keywords.empty()) {
        // Counted as the search will build them: with the keywords lower-cased.
        core::SearchOptions searched = options_;
        core::LowerKeywords(searched.keywords);
        try {
            text = core::NameCountText(core::CountCandidates(searched));
        } catch (const base::Exception &bad) {
            text = "Names cannot be counted: " + bad.Message();
        }
    }
    const QString whole = ToQString(text);
    NamesCountLabel->setToolTip(whole);
    NamesCountLabel->setText(
        NamesCountLabel->fontMetrics().elidedText(whole, Qt::ElideRight, NamesCountLabel->width()));
}

} // namespace ui
