#include "ui/SettingsUnit.h"

#include "core/AffixWords.h"
#include "core/OptionsStore.h"
#include "core/SearchOptions.h"
#include "core/SuffixList.h"
#include "platform/Application.h"
#include "ui/QtApplication.h"
#include "ui/QtText.h"
#include "ui/RadioGroup.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace ui {
namespace {

// Twelve letters before the suffix: short enough to type and say, long enough for two words.
constexpr int kOfferedMaxLength = 12;

QCheckBox *MakeCheckBox(QWidget *parent, const char *name, const char *caption, QRect geometry) {
    auto *box = new QCheckBox(QString::fromLatin1(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    return box;
}

} // namespace

TSettingsForm::TSettingsForm(core::SearchOptions &options, QWidget *parent)
    : FixedDialog(QStringLiteral("Settings..."), 548, 434, parent), options_(options) {
    setObjectName(QStringLiteral("SettingsForm"));
    CreateControls();
    ScaleLayout();
    FitCaptions();
    SetFocusOrder();
    DescribeControls();
    // The controls write through only once they show the loaded values.
    FormCreate();
    ConnectControls();
}

void TSettingsForm::CreateControls() {
    GroupBox1 = Place(new QGroupBox(QStringLiteral("Include top level domains..."), this),
                      "GroupBox1", QRect(7, 14, 149, 210));
    COMcb = MakeCheckBox(GroupBox1, "COMcb", ".COM", QRect(15, 26, 61, 17));
    NETcb = MakeCheckBox(GroupBox1, "NETcb", ".NET", QRect(15, 46, 61, 17));
    ORGcb = MakeCheckBox(GroupBox1, "ORGcb", ".ORG", QRect(15, 66, 61, 17));
    BIZcb = MakeCheckBox(GroupBox1, "BIZcb", ".BIZ", QRect(15, 91, 61, 17));
    UScb = MakeCheckBox(GroupBox1, "UScb", ".US", QRect(15, 116, 61, 17));
    INFOcb = MakeCheckBox(GroupBox1, "INFOcb", ".INFO", QRect(15, 141, 61, 17));
    COUKcb = MakeCheckBox(GroupBox1, "COUKcb", ".CO.UK", QRect(15, 166, 61, 17));

    GroupBox2 = Place(new QGroupBox(QStringLiteral("Include..."), this), "GroupBox2",
                      QRect(174, 14, 154, 90));
    HyphensCheckBox = MakeCheckBox(GroupBox2, "HyphensCheckBox", "hyphens", QRect(19, 25, 81, 17));
    AcronymsCheckBox =
        MakeCheckBox(GroupBox2, "AcronymsCheckBox", "acronyms", QRect(19, 51, 81, 17));

    BitBtn1 = MakeButton(this, "BitBtn1", QStringLiteral("OK"), QRect(469, 396, 71, 32), {});
    QFont bold = BitBtn1->font();
    bold.setBold(true);
    BitBtn1->setFont(bold);

    rgShowDomain = new RadioGroup(
        QStringLiteral("Show up..."),
        {QStringLiteral("Available domain Only"), QStringLiteral("All domain names")}, 1,
        QRect(174, 133, 153, 91), this);
    rgShowDomain->setObjectName(QStringLiteral("rgShowDomain"));

    GroupBox3 = Place(new QGroupBox(QStringLiteral("Domain registration service:"), this),
                      "GroupBox3", QRect(8, 239, 318, 61));
    leRegService = Place(new QLineEdit(GroupBox3), "leRegService", QRect(57, 24, 244, 21));
    LabelLeft(leRegService, QStringLiteral("URL:"));

    JobsLabel = Place(new QLabel(QStringLiteral("C&hecks at once:"), this), "JobsLabel",
                      QRect(174, 111, 90, 15));
    seJobs = Place(new QSpinBox(this), "seJobs", QRect(268, 108, 59, 21));
    seJobs->setRange(core::kMinJobs, core::kMaxJobs);
    JobsLabel->setBuddy(seJobs);

    // Items in the order of kCheckRegistry, kCheckWeb.
    rgCheck = new RadioGroup(
        QStringLiteral("Availability by..."),
        {QStringLiteral("registry records (DNS + RDAP)"), QStringLiteral("web site answer")}, 1,
        QRect(340, 14, 200, 64), this);
    rgCheck->setObjectName(QStringLiteral("rgCheck"));
    // Items in the order of kIndexWhenPresent, kFromWeb.
    const QStringList sources = {QStringLiteral("the index when present"),
                                 QStringLiteral("the web")};
    rgLinksFrom = new RadioGroup(QStringLiteral("Link popularity from..."), sources, 1,
                                 QRect(340, 86, 200, 64), this);
    rgLinksFrom->setObjectName(QStringLiteral("rgLinksFrom"));
    rgRankFrom = new RadioGroup(QStringLiteral("Traffic rank from..."), sources, 1,
                                QRect(340, 158, 200, 64), this);
    rgRankFrom->setObjectName(QStringLiteral("rgRankFrom"));

    GroupBox4 = Place(new QGroupBox(QStringLiteral("More suffixes (comma-separated):"), this),
                      "GroupBox4", QRect(340, 239, 200, 61));
    leSuffixes = Place(new QLineEdit(GroupBox4), "leSuffixes", QRect(12, 24, 176, 21));
    leSuffixes->setPlaceholderText(QStringLiteral("io, dev, shop"));

    CreateNameControls();
    cbCache = MakeCheckBox(this, "cbCache", "Remember registry answers", QRect(12, 402, 200, 17));
}

// The choices that add names beyond the keywords' own combinations, or leave long ones out.
void TSettingsForm::CreateNameControls() {
    GroupBox5 = Place(new QGroupBox(QStringLiteral("More names from the keywords..."), this),
                      "GroupBox5", QRect(8, 310, 532, 80));
    leBefore = Place(new QLineEdit(GroupBox5), "leBefore", QRect(100, 22, 160, 21));
    LabelLeft(leBefore, QStringLiteral("Words before:"));
    leBefore->setPlaceholderText(QStringLiteral("get, try, my"));
    leAfter = Place(new QLineEdit(GroupBox5), "leAfter", QRect(360, 22, 160, 21));
    LabelLeft(leAfter, QStringLiteral("Words after:"));
    leAfter->setPlaceholderText(QStringLiteral("hq, app, hub"));
    cbCommonAffixes = MakeCheckBox(GroupBox5, "cbCommonAffixes", "common words before and after",
                                   QRect(12, 52, 196, 17));
    cbSuffixHacks =
        MakeCheckBox(GroupBox5, "cbSuffixHacks", "suffix hacks (fami.ly)", QRect(214, 52, 146, 17));
    cbMaxLength = MakeCheckBox(GroupBox5, "cbMaxLength", "At most", QRect(366, 52, 64, 17));
    seMaxLength = Place(new QSpinBox(GroupBox5), "seMaxLength", QRect(432, 50, 44, 21));
    seMaxLength->setRange(1, core::kLongestNameLength);
    MaxLengthUnit = Place(new QLabel(QStringLiteral("letters"), GroupBox5), "MaxLengthUnit",
                          QRect(480, 53, 42, 15));
}

void TSettingsForm::ConnectControls() {
    const auto connectBox = [this](QCheckBox *box, bool core::SearchOptions::*field) {
        connect(box, &QCheckBox::toggled, this,
                Guarded([this, box, field] { options_.*field = box->isChecked(); }));
    };
    connectBox(COMcb, &core::SearchOptions::COM);
    connectBox(NETcb, &core::SearchOptions::NET);
    connectBox(ORGcb, &core::SearchOptions::ORG);
    connectBox(BIZcb, &core::SearchOptions::BIZ);
    connectBox(UScb, &core::SearchOptions::US);
    connectBox(INFOcb, &core::SearchOptions::INFO);
    connectBox(COUKcb, &core::SearchOptions::COUK);
    connectBox(HyphensCheckBox, &core::SearchOptions::hyphens);
    connectBox(AcronymsCheckBox, &core::SearchOptions::acronyms);
    connectBox(cbCache, &core::SearchOptions::cache);
    connectBox(cbCommonAffixes, &core::SearchOptions::commonAffixes);
    connectBox(cbSuffixHacks, &core::SearchOptions::suffixHacks);
    connect(leBefore, &QLineEdit::textChanged, this,
            Guarded([this] { options_.before = ToStdString(leBefore->text()); }));
    connect(leAfter, &QLineEdit::textChanged, this,
            Guarded([this] { options_.after = ToStdString(leAfter->text()); }));
    connect(cbMaxLength, &QCheckBox::toggled, this, Guarded([this] { TakeMaxLength(); }));
    connect(seMaxLength, &QSpinBox::valueChanged, this, Guarded([this] { TakeMaxLength(); }));
    connect(rgShowDomain, &RadioGroup::Changed, this,
            Guarded([this] { options_.SetShow(rgShowDomain->ItemIndex()); }));
    connect(rgCheck, &RadioGroup::Changed, this,
            Guarded([this] { options_.SetCheck(rgCheck->ItemIndex()); }));
    connect(leSuffixes, &QLineEdit::textChanged, this,
            Guarded([this] { options_.suffixes = ToStdString(leSuffixes->text()); }));
    connect(rgLinksFrom, &RadioGroup::Changed, this,
            Guarded([this] { options_.SetLinksFrom(rgLinksFrom->ItemIndex()); }));
    connect(rgRankFrom, &RadioGroup::Changed, this,
            Guarded([this] { options_.SetRankFrom(rgRankFrom->ItemIndex()); }));
    connect(leRegService, &QLineEdit::textChanged, this,
            Guarded([this] { options_.reg = ToStdString(leRegService->text()); }));
    connect(seJobs, &QSpinBox::valueChanged, this,
            Guarded([this] { options_.SetJobs(seJobs->value()); }));
    connect(BitBtn1, &QPushButton::clicked, this, Guarded([this] { BitBtn1Click(); }));
}

void TSettingsForm::SetFocusOrder() {
    QWidget *const order[] = {COMcb,
                              NETcb,
                              ORGcb,
                              BIZcb,
                              UScb,
                              INFOcb,
                              COUKcb,
                              HyphensCheckBox,
                              AcronymsCheckBox,
                              seJobs,
                              BitBtn1,
                              rgShowDomain->Button(0),
                              rgShowDomain->Button(1),
                              rgCheck->Button(0),
                              rgCheck->Button(1),
                              rgLinksFrom->Button(0),
                              rgLinksFrom->Button(1),
                              rgRankFrom->Button(0),
                              rgRankFrom->Button(1),
                              leRegService,
                              leSuffixes,
                              leBefore,
                              leAfter,
                              cbCommonAffixes,
                              cbSuffixHacks,
                              cbMaxLength,
                              seMaxLength,
                              cbCache};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TSettingsForm::DescribeControls() {
    SetAccessibleTexts({
        {GroupBox1, "Top level domains", "The domain suffixes each name is checked under"},
        {COMcb, ".COM", "Checks each name under .com"},
        {NETcb, ".NET", "Checks each name under .net"},
        {ORGcb, ".ORG", "Checks each name under .org"},
        {BIZcb, ".BIZ", "Checks each name under .biz"},
        {UScb, ".US", "Checks each name under .us"},
        {INFOcb, ".INFO", "Checks each name under .info"},
        {COUKcb, ".CO.UK", "Checks each name under .co.uk"},
        {GroupBox2, "Include", "What the names may contain besides the keywords"},
        {HyphensCheckBox, "Hyphens", "Also builds names with hyphens between the keywords"},
        {AcronymsCheckBox, "Acronyms", "Also builds names from the keywords' initials"},
        {seJobs, "Checks at once",
         "How many names are checked at the same time, 1 to 64; 1 checks one after the other"},
        {rgShowDomain, "Show up", "Whether the result list shows taken names too"},
        {rgShowDomain->Button(0), "Available domain only", "Lists only names that are free"},
        {rgShowDomain->Button(1), "All domain names", "Lists taken names as well"},
        {rgCheck, "Availability by",
         "Whether a name counts as taken by its registry's records or by its web site's answer"},
        {rgCheck->Button(0), "Availability by registry records",
         "Asks the name's delegation in DNS, then its registry over RDAP"},
        {rgCheck->Button(1), "Availability by web site answer",
         "A name is taken when its web site answers"},
        {GroupBox4, "More suffixes", "Further domain suffixes, checked after .com, .net and .org"},
        {leSuffixes, "More suffixes",
         "Domain suffixes separated by commas, for example io, dev, shop"},
        {rgLinksFrom, "Link popularity from",
         "Whether link popularity is read from the imported web graph or asked of the web"},
        {rgLinksFrom->Button(0), "Link popularity from the index when present",
         "Reads the imported web graph; asks the web when none is imported"},
        {rgLinksFrom->Button(1), "Link popularity from the web", "Always asks the web"},
        {rgRankFrom, "Traffic rank from",
         "Whether traffic rank is read from the imported rank list or asked of the web"},
        {rgRankFrom->Button(0), "Traffic rank from the index when present",
         "Reads the imported rank list; asks the web when none is imported"},
        {rgRankFrom->Button(1), "Traffic rank from the web", "Always asks the web"},
        {GroupBox3, "Domain registration service", "Where Register this domain goes"},
        {leRegService, "Registration service address", "The web address of the registrar"},
        {cbCache, "Remember registry answers",
         "Keeps the registries' answers for a while, a taken name a day and a free one ten "
         "minutes, so that checking a name again soon asks no registry"},
        {GroupBox5, "More names from the keywords",
         "Words joined to the keywords, suffix hacks and a length limit"},
        {leBefore, "Words before",
         "Words put before each keyword and pair, separated by commas, for example get, try"},
        {leAfter, "Words after",
         "Words put after each keyword and pair, separated by commas, for example hq, app"},
        {cbCommonAffixes, "Common words before and after",
         "Also puts get, try, my, go and the before and hq, app, hub, now and labs after"},
        {cbSuffixHacks, "Suffix hacks",
         "A keyword that ends with a chosen suffix also gives the name split there, as fami.ly"},
        {cbMaxLength, "Length limit", "Leaves out names longer than the letters set beside"},
        {seMaxLength, "At most letters", "The most letters a name may have before its suffix"},
        {BitBtn1, "OK", "Stores the settings and closes the dialog"},
    });
    // The spin box's text part is what a screen reader meets first.
    for (QSpinBox *spin : {seJobs, seMaxLength}) {
        if (auto *text = spin->findChild<QLineEdit *>())
            SetAccessibleText(*text, spin->accessibleName(), spin->accessibleDescription());
    }
}

void TSettingsForm::FormCreate() {
    core::LoadSettings(options_);
    ShowSettings();
}

void TSettingsForm::FormCloseQuery(bool &canClose) {
    canClose = SuffixesAreValid() && AffixWordsAreValid();
    if (canClose)
        core::StoreSettings(options_);
}

bool TSettingsForm::SuffixesAreValid() {
    try {
        core::ReadSuffixList(options_.suffixes);
        return true;
    } catch (const core::ESuffixError &bad) {
        platform::ShowMessage("In More suffixes, " + bad.Message() + ".");
        leSuffixes->setFocus();
        return false;
    }
}

bool TSettingsForm::AffixWordsAreValid() {
    const std::pair<QLineEdit *, const char *> lists[] = {{leBefore, "Words before"},
                                                          {leAfter, "Words after"}};
    for (const auto &[edit, caption] : lists) {
        try {
            core::ReadAffixWords(ToStdString(edit->text()));
        } catch (const core::EAffixError &bad) {
            platform::ShowMessage(std::string("In ") + caption + ", " + bad.Message() + ".");
            edit->setFocus();
            return false;
        }
    }
    return true;
}

void TSettingsForm::TakeMaxLength() {
    seMaxLength->setEnabled(cbMaxLength->isChecked());
    options_.maxNameLength = cbMaxLength->isChecked() ? seMaxLength->value() : core::kNoLengthLimit;
}

void TSettingsForm::BitBtn1Click() {
    close();
}

void TSettingsForm::ShowSettings() {
    COMcb->setChecked(options_.COM);
    NETcb->setChecked(options_.NET);
    ORGcb->setChecked(options_.ORG);
    HyphensCheckBox->setChecked(options_.hyphens);
    AcronymsCheckBox->setChecked(options_.acronyms);
    rgShowDomain->SetItemIndex(options_.show());
    leRegService->setText(ToQString(options_.reg));
    seJobs->setValue(options_.jobs());
    BIZcb->setChecked(options_.BIZ);
    UScb->setChecked(options_.US);
    INFOcb->setChecked(options_.INFO);
    COUKcb->setChecked(options_.COUK);
    rgCheck->SetItemIndex(options_.check());
    leSuffixes->setText(ToQString(options_.suffixes));
    rgLinksFrom->SetItemIndex(options_.linksFrom());
    rgRankFrom->SetItemIndex(options_.rankFrom());
    cbCache->setChecked(options_.cache);
    leBefore->setText(ToQString(options_.before));
    leAfter->setText(ToQString(options_.after));
    cbCommonAffixes->setChecked(options_.commonAffixes);
    cbSuffixHacks->setChecked(options_.suffixHacks);
    // Without a limit the spin box offers a length worth trying.
    const bool limited = options_.maxNameLength > core::kNoLengthLimit;
    seMaxLength->setValue(limited ? options_.maxNameLength : kOfferedMaxLength);
    cbMaxLength->setChecked(limited);
    seMaxLength->setEnabled(limited);
}

} // namespace ui
