#include "ui/SettingsUnit.h"

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

QCheckBox *MakeCheckBox(QWidget *parent, const char *name, const char *caption, QRect geometry) {
    auto *box = new QCheckBox(QString::fromLatin1(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    return box;
}

} // namespace

TSettingsForm::TSettingsForm(core::SearchOptions &options, QWidget *parent)
    : FixedDialog(QStringLiteral("Settings..."), 548, 348, parent), options_(options) {
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

    BitBtn1 = MakeButton(this, "BitBtn1", QStringLiteral("OK"), QRect(469, 310, 71, 32), {});
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

    cbCache = MakeCheckBox(this, "cbCache", "Remember registry answers", QRect(12, 316, 200, 17));
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
        {BitBtn1, "OK", "Stores the settings and closes the dialog"},
    });
    // The spin box's text part is what a screen reader meets first.
    if (auto *text = seJobs->findChild<QLineEdit *>())
        SetAccessibleText(*text, seJobs->accessibleName(), seJobs->accessibleDescription());
}

void TSettingsForm::FormCreate() {
    core::LoadSettings(options_);
    ShowSettings();
}

void TSettingsForm::FormCloseQuery(bool &canClose) {
    canClose = SuffixesAreValid();
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
}

} // namespace ui
