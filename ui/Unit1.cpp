#include "ui/Unit1.h"

#include "base/AsciiCase.h"
#include "base/FileError.h"
#include "core/SearchOptions.h"
#include "core/WatchCheck.h"
#include "core/WatchList.h"
#include "platform/Application.h"
#include "platform/AtomicFile.h"
#include "rankindex/RankImport.h"
#include "results/ResultCommands.h"
#include "results/ResultsFile.h"
#include "ui/FixedDialog.h"
#include "ui/IndexImport.h"
#include "ui/MainWindowPictures.h"
#include "ui/QtApplication.h"
#include "ui/QtText.h"
#include "ui/RegistryUpdate.h"
#include "ui/ResultListView.h"
#include "ui/ResultTableModel.h"
#include "ui/WatchUnit.h"
#include "ui/WindowStore.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCloseEvent>
#include <QCompleter>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <exception>
#include <limits>

namespace ui {
namespace {

constexpr int kClientWidth = 502;
constexpr int kClientHeight = 390;
constexpr int kStatusBarHeight = 19;
// The list's place in the client area at the designed size: 5, 68, 490 x 299.
constexpr int kListLeft = 5;
constexpr int kListTop = 68;
constexpr int kListRight = 7;
constexpr int kListBottom = 4;
// Space kept free on either side of a caption over the banner.
constexpr int kCaptionMargin = 3;
constexpr const char *kResultsFilter = "Nimbrel files (*.nbr)";
constexpr const char *kResultsSuffix = "nbr";
constexpr const char *kNamesFilter = "Text files (*.txt)";
constexpr const char *kNamesSuffix = "txt";
// The progress bar's steps, and how often the window looks at a running import.
constexpr int kImportSteps = 1000;
constexpr int kImportPollMs = 50;
// The run's progress bar beside the status text: wide enough for "100000/100000".
constexpr int kRunBarWidth = 160;

enum MenuImage { PageOfText, Door, FloppyDisk, OpenFolder, QuestionMark, Globe, LightBulb };

template <class Object> Object *Named(Object *object, const char *name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

// The button's font, made smaller until its caption fits with a margin on either side.
void FitCaption(QToolButton &button) {
    QFont font = button.font();
    while (QFontMetrics(font).horizontalAdvance(button.text()) >
               button.width() - 2 * kCaptionMargin &&
           font.pointSizeF() > 6) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    button.setFont(font);
}

QToolButton *PictureButton(QWidget *parent, const char *name, const char *caption,
                           const QIcon &picture, QSize pictureSize, QRect geometry) {
    auto *button = Named(new QToolButton(parent), name);
    button->setText(QString::fromLatin1(caption));
    button->setIcon(picture);
    button->setIconSize(pictureSize);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setCursor(Qt::PointingHandCursor);
    button->setGeometry(geometry);
    FitCaption(*button);
    return button;
}

QAction *MenuAction(QMenu *menu, const char *name, const char *caption, const QIcon &image) {
    auto *action = Named(menu->addAction(image, QString::fromLatin1(caption)), name);
    action->setIconVisibleInMenu(true);
    return action;
}

// Runs the Stop command and hands back its failure instead of raising it, so that the command's
// own step can still run before the failure goes on to the default error handling.
template <class Stop> std::exception_ptr TryStopping(Stop stop) {
    try {
        stop();
        return nullptr;
    } catch (...) {
        return std::current_exception();
    }
}

// A file name typed with Enter while its completions were listed leaves that list standing over
// the main window once the dialog has closed; the open dialog lives on, and so would the list.
void HideCompletions(const QFileDialog &dialog) {
    for (const QCompleter *completer : dialog.findChildren<QCompleter *>())
        if (QAbstractItemView *list = completer->popup(); list && list->isVisible())
            list->hide();
}

void RethrowIfFailed(const std::exception_ptr &failure) {
    if (failure)
        std::rethrow_exception(failure);
}

std::string Capitalised(std::string text) {
    if (!text.empty())
        text.front() = base::AsciiUpperChar(text.front());
    return text;
}

// Why a write failed, for people: the system's reason, with the temporary file mentioned only
// when creating it was what failed (the folder cannot be written to, say).
std::string WriteFailureReason(const std::exception &failure) {
    const auto *fileFailure = dynamic_cast<const base::EFileError *>(&failure);
    std::string reason = Capitalised(fileFailure ? fileFailure->Reason() : failure.what());
    if (dynamic_cast<const platform::ETemporaryFileError *>(&failure))
        reason += " (no temporary file could be created beside it)";
    return reason;
}

// Replaces the rows of list with copies of those of from, in one batch.
void ReplaceRows(results::ResultList &list, const results::ResultList &from) {
    const results::ResultListUpdate batch(list);
    list.Clear();
    for (int k = 0; k < from.Count(); ++k) {
        const results::ResultRow &source = *from.Row(k);
        const std::shared_ptr<results::ResultRow> row = list.Append();
        row->SetCaption(source.Caption());
        for (int i = 0; i < source.SubItemCount(); ++i)
            row->AppendSubItem(*source.SubItem(i));
        row->SetChecked(source.Checked());
    }
}

} // namespace

TForm1::TForm1(core::SearchOptions &options, core::CheckRun::SetupChooser choose,
               net::NetworkContext context, QWidget *parent)
    : TForm1(options, choose, choose().columns, std::move(context), parent) {}

TForm1::TForm1(core::SearchOptions &options, probes::ProbeList probes, net::NetworkContext context,
               QWidget *parent)
    : TForm1(options, std::move(probes), results::Columns::Standard(), std::move(context), parent) {
}

TForm1::TForm1(core::SearchOptions &options, probes::ProbeList probes, results::Columns columns,
               net::NetworkContext context, QWidget *parent)
    : TForm1(
          options,
          [probes = std::move(probes), columns] {
              core::CheckSetup setup;
              setup.probes = probes;
              setup.columns = columns;
              return setup;
          },
          columns, std::move(context), parent) {}

TForm1::TForm1(core::SearchOptions &options, const core::CheckRun::SetupChooser &choose,
               results::Columns columns, net::NetworkContext context, QWidget *parent)
    : QMainWindow(parent), options_(options), results_(std::move(columns)),
      run_(std::make_unique<core::CheckRun>(
          options, candidates_, scratch_, results_, NotingOldData(choose), context,
          static_cast<core::KeywordsPrompt &>(*this), static_cast<core::ProgressView &>(*this))),
      updateRegistryData_([context] { return UpdateWithSystemTrust(context); }),
      chooseWatchSetup_([](const core::SearchOptions &chosen) {
          return core::ChooseWatchSetup(chosen, core::UserIndexFolder(), {});
      }) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Nimbrel"));
    setWindowIcon(ProgramIcon());
    // The desktop's own font and size; only the captions over the banner are fitted to their
    // buttons.
    CreateControls();
    CreateMenus();
    CreatePopupMenu();
    ConnectControls();
    SetClientAreaSize();
    FormCreate();
}

TForm1::~TForm1() {
    // The list view and its model read the result list, which goes before the base class takes
    // the child widgets down (hiding a shown window asks the header for its captions).
    CancelImport();
    registryUpdate_.reset();
    hide();
    centralWidget()->removeEventFilter(this);
    delete ListView1;
}

void TForm1::AttachDialogs(AskKeywords keywords, ShowDialog about, ShowDialog settings) {
    keywordsDialog_ = std::move(keywords);
    aboutBox_ = std::move(about);
    settingsDialog_ = std::move(settings);
}

void TForm1::SetFileChooser(FileChooser chooser) {
    chooseFile_ = std::move(chooser);
}

void TForm1::CreateControls() {
    auto *client = Named(new QWidget(this), "Client");
    setCentralWidget(client);

    Image1 = Named(new QLabel(client), "Image1");
    Image1->setGeometry(7, 4, 490, 55);
    Image1->setScaledContents(true);
    Image1->setPixmap(QPixmap::fromImage(BannerImage()));

    // Created after the banner, so that they lie on top of it.
    BitBtn2 = PictureButton(client, "BitBtn2", "Start", StartPicture(), QSize(17, 15),
                            QRect(337, 10, 48, 43));
    StopBtn = PictureButton(client, "StopBtn", "Stop", StopPicture(), QSize(16, 16),
                            QRect(390, 10, 48, 43));
    BitBtn1 = PictureButton(client, "BitBtn1", "Settings", SettingsPicture(), QSize(16, 16),
                            QRect(443, 10, 48, 43));

    ListView1 = Named(new ResultListView(results_, client), "ListView1");
    ListView1->setGeometry(kListLeft, kListTop, 490, 299);
    client->installEventFilter(this);

    StatusBar1 = Named(new QStatusBar(this), "StatusBar1");
    StatusBar1->setSizeGripEnabled(true);
    StatusBar1->setFixedHeight(std::max(kStatusBarHeight, StatusBar1->fontMetrics().height() + 4));
    StatusBar1->addWidget(Named(new QLabel(StatusBar1), "StatusText"), 1);
    RunProgress1 = Named(new QProgressBar(StatusBar1), "RunProgress1");
    RunProgress1->setFormat(QStringLiteral("%v/%m"));
    RunProgress1->setMaximumWidth(kRunBarWidth);
    RunProgress1->setMaximumHeight(StatusBar1->height() - 4);
    StatusBar1->addPermanentWidget(RunProgress1);
    RunProgress1->hide();
    setStatusBar(StatusBar1);

    OpenDialog1 = Named(new QFileDialog(this), "OpenDialog1");
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    // The typed name need not exist.
    OpenDialog1->setFileMode(QFileDialog::AnyFile);
    OpenDialog1->setNameFilter(QString::fromLatin1(kResultsFilter));
    OpenDialog1->setDefaultSuffix(QString::fromLatin1(kResultsSuffix));

    ImageList1 = MenuImages();

    ImportProgress1 = Named(new QProgressDialog(this), "ImportProgress1");
    ImportProgress1->setWindowTitle(QStringLiteral("Import"));
    ImportProgress1->setWindowModality(Qt::WindowModal);
    ImportProgress1->setRange(0, kImportSteps);
    ImportProgress1->setMinimumDuration(0);
    ImportProgress1->setAutoClose(false);
    ImportProgress1->setAutoReset(false);
    ImportProgress1->reset();
    ImportProgress1->hide();
    SetAccessibleText(*ImportProgress1, QStringLiteral("Import progress"),
                      QStringLiteral("How far the import has read its file; Cancel keeps the "
                                     "previous index"));
    ImportTimer1 = Named(new QTimer(this), "ImportTimer1");
    ImportTimer1->setInterval(kImportPollMs);

    SetAccessibleText(*Image1, QStringLiteral("Nimbrel"), QStringLiteral("The program's banner"));
    SetAccessibleText(*BitBtn2, QStringLiteral("Start"),
                      QStringLiteral("Asks for keywords and searches for free domain names"));
    SetAccessibleText(*StopBtn, QStringLiteral("Stop"),
                      QStringLiteral("Ends the search after the name being checked"));
    SetAccessibleText(*BitBtn1, QStringLiteral("Settings"),
                      QStringLiteral("Top level domains, name variants and the registrar"));
    SetAccessibleText(*ListView1, QStringLiteral("Domain names found"),
                      QStringLiteral("One row a name: top level domain, whether it is free, "
                                     "link popularity and traffic rank; Space toggles the mark"));
    SetAccessibleText(*RunProgress1, QStringLiteral("Search progress"),
                      QStringLiteral("How far a search of many names has come"));
    // The status text has no accessible name of its own: the label's text is its name, so that
    // assistive tools read "Checking..." and "Done!" and hear each change (a label tells them
    // when its text changes its name).
    StatusBar1->findChild<QLabel *>(QStringLiteral("StatusText"))
        ->setAccessibleDescription(QStringLiteral("What the search is doing"));

    setTabOrder(ListView1, StopBtn);
    setTabOrder(StopBtn, BitBtn2);
    setTabOrder(BitBtn2, BitBtn1);
}

void TForm1::CreateMenus() {
    QMenuBar *MainMenu1 = Named(menuBar(), "MainMenu1");

    File1 = Named(MainMenu1->addMenu(QStringLiteral("&Results")), "File1");
    Open1 = MenuAction(File1, "Open1", "&Open file...", ImageList1[OpenFolder]);
    Save1 = MenuAction(File1, "Save1", "&Save file...", ImageList1[FloppyDisk]);
    N2 = Named(File1->addSeparator(), "N2");
    Exit1 = MenuAction(File1, "Exit1", "E&xit", ImageList1[Door]);

    Domains1 = Named(MainMenu1->addMenu(QStringLiteral("&Domains")), "Domains1");
    Savetotextfile1 =
        MenuAction(Domains1, "Savetotextfile1", "Save names list...", ImageList1[PageOfText]);
    Watchlist1 = MenuAction(Domains1, "Watchlist1", "&Watchlist...", QIcon());
    Watchlist1->setStatusTip(QStringLiteral("Shows the watched names, their history and a check "
                                            "of them now"));

    Data1 = Named(MainMenu1->addMenu(QStringLiteral("D&ata")), "Data1");
    ImportWebGraph1 =
        MenuAction(Data1, "ImportWebGraph1", "Import &web graph...", ImageList1[OpenFolder]);
    ImportRankList1 =
        MenuAction(Data1, "ImportRankList1", "Import &rank list...", ImageList1[OpenFolder]);
    UpdateRegistryData1 =
        MenuAction(Data1, "UpdateRegistryData1", "&Update registry data", ImageList1[Globe]);
    SetAccessibleText(*Data1, QStringLiteral("Data"),
                      QStringLiteral("Imports the files link popularity and traffic rank are "
                                     "read from, and updates the registry data"));
    UpdateRegistryData1->setStatusTip(
        QStringLiteral("Fetches IANA's current list of RDAP servers for each suffix"));
    ImportWebGraph1->setStatusTip(
        QStringLiteral("Imports a web graph's domain ranks: link popularity of each name"));
    ImportRankList1->setStatusTip(
        QStringLiteral("Imports a top sites list: traffic rank of each name"));

    Help1 = Named(MainMenu1->addMenu(QStringLiteral("&Help")), "Help1");
    Contents1 = MenuAction(Help1, "Contents1", "&Contents", ImageList1[QuestionMark]);
    Contents1->setShortcut(QKeySequence(Qt::Key_F1));
    Contents1->setShortcutContext(Qt::WindowShortcut);
    Homepage1 = MenuAction(Help1, "Homepage1", "The Nimbrel homepage...", ImageList1[Globe]);
    N1 = Named(Help1->addSeparator(), "N1");
    About1 = MenuAction(Help1, "About1", "&About...", ImageList1[LightBulb]);
}

void TForm1::CreatePopupMenu() {
    PopupMenu2 = Named(new QMenu(this), "PopupMenu2");
    const QIcon none;
    Registerthisdomain1 =
        MenuAction(PopupMenu2, "Registerthisdomain1", "Register this domain...", none);
    QFont bold = Registerthisdomain1->font();
    bold.setBold(true);
    Registerthisdomain1->setFont(bold);
    PopupMenu2->setDefaultAction(Registerthisdomain1);
    Checkitmanually1 = MenuAction(PopupMenu2, "Checkitmanually1", "Check it manually...", none);
    Openoffer1 = MenuAction(PopupMenu2, "Openoffer1", "Open offer", none);
    // Only a row whose owner offers it at a web address gets the command; any other offer text
    // stays text.
    connect(PopupMenu2, &QMenu::aboutToShow, this,
            [this] { Openoffer1->setVisible(results::SelectedOfferLink(results_).has_value()); });
    PopupMenu2->addSeparator();
    MenuItem2 = MenuAction(PopupMenu2, "MenuItem2", "Select All", none);
    MenuItem3 = MenuAction(PopupMenu2, "MenuItem3", "Select None", none);
    MenuItem5 = MenuAction(PopupMenu2, "MenuItem5", "Invert Selection", none);
    PopupMenu2->addSeparator();
    Force1 = MenuAction(PopupMenu2, "Force1", "Force details", none);
    Watch1 = MenuAction(PopupMenu2, "Watch1", "Watch", none);
    Watch1->setStatusTip(QStringLiteral("Adds the marked names to the watch list, which "
                                        "nimbrel-cli --watch-check checks again"));
}

void TForm1::ConnectControls() {
    auto on = [this](auto *sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this, Guarded([this, handler] { (this->*handler)(); }));
    };
    on(BitBtn2, &QToolButton::clicked, &TForm1::BitBtn2Click);
    on(StopBtn, &QToolButton::clicked, &TForm1::StopBtnClick);
    on(BitBtn1, &QToolButton::clicked, &TForm1::BitBtn1Click);
    on(Open1, &QAction::triggered, &TForm1::Open1Click);
    on(Save1, &QAction::triggered, &TForm1::Save1Click);
    on(Exit1, &QAction::triggered, &TForm1::Exit1Click);
    on(Savetotextfile1, &QAction::triggered, &TForm1::Savetotextfile1Click);
    on(ImportWebGraph1, &QAction::triggered, &TForm1::ImportWebGraph1Click);
    on(ImportRankList1, &QAction::triggered, &TForm1::ImportRankList1Click);
    on(UpdateRegistryData1, &QAction::triggered, &TForm1::UpdateRegistryData1Click);
    on(ImportTimer1, &QTimer::timeout, &TForm1::PollImport);
    connect(ImportProgress1, &QProgressDialog::canceled, this, [this] {
        if (import_)
            import_->Cancel();
    });
    on(Contents1, &QAction::triggered, &TForm1::Contents1Click);
    on(Homepage1, &QAction::triggered, &TForm1::Homepage1Click);
    on(About1, &QAction::triggered, &TForm1::About1Click);
    on(Registerthisdomain1, &QAction::triggered, &TForm1::Registerthisdomain1Click);
    on(Checkitmanually1, &QAction::triggered, &TForm1::Checkitmanually1Click);
    on(Openoffer1, &QAction::triggered, &TForm1::Openoffer1Click);
    on(MenuItem2, &QAction::triggered, &TForm1::SelectAll1Click);
    on(MenuItem3, &QAction::triggered, &TForm1::SelectNone1Click);
    on(MenuItem5, &QAction::triggered, &TForm1::InvertSelection1Click);
    on(Force1, &QAction::triggered, &TForm1::Force1Click);
    on(Watch1, &QAction::triggered, &TForm1::Watch1Click);
    on(Watchlist1, &QAction::triggered, &TForm1::Watchlist1Click);

    connect(ListView1, &ResultListView::ColumnClicked, this,
            [this](int column) { Guarded([this, column] { ListView1ColumnClick(column); })(); });
    auto changed = [this] { resultsChanged_ = true; };
    connect(ListView1->Model(), &QAbstractItemModel::rowsInserted, this, changed);
    connect(ListView1->Model(), &QAbstractItemModel::dataChanged, this, changed);
    connect(ListView1, &ResultListView::PopupRequested, this,
            [this](const QPoint &position) { PopupMenu2->popup(position); });
}

void TForm1::SetClientAreaSize() {
    // The menu bar lies outside the client area; the status bar is part of it. The designed
    // size is the smallest and the first; after that the window opens at the size it was left.
    const QSize smallest(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    setMinimumSize(smallest);
    // Columns added right of the first five widen the first size, so that every column
    // shows its caption in full.
    int columns = 2 * ListView1->frameWidth() + kListLeft + kListRight;
    for (int column = 0; column < ListView1->Model()->columnCount(); ++column)
        columns += ListView1->Model()->Width(column);
    const QSize first(std::max(kClientWidth, columns), smallest.height());
    resize(StoredWindowSize().value_or(first).expandedTo(smallest));
}

bool TForm1::eventFilter(QObject *watched, QEvent *event) {
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        PlaceList();
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::PlaceList() {
    // The banner and its buttons keep their place; the list takes the rest of the client area
    // with the margins it has at the designed size.
    const QSize client = centralWidget()->size();
    ListView1->setGeometry(kListLeft, kListTop,
                           std::max(0, client.width() - kListLeft - kListRight),
                           std::max(0, client.height() - kListTop - kListBottom));
}

void TForm1::FormCreate() {
    programFolder_ = ToStdString(QCoreApplication::applicationDirPath());
    if (programFolder_.empty() || programFolder_.back() != '/')
        programFolder_ += '/';
}

void TForm1::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    if (QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - frameGeometry().center() + pos());
}

void TForm1::closeEvent(QCloseEvent *event) {
    bool canClose = true;
    try {
        FormCloseQuery(canClose);
    } catch (...) {
        HandleException(std::current_exception());
    }
    if (canClose) {
        StoreWindowSize(isMaximized() || isFullScreen() ? normalGeometry().size() : size());
        event->accept();
    } else
        event->ignore();
}

void TForm1::FormCloseQuery(bool &canClose) {
    canClose = ResultsMayGo();
    if (!canClose)
        return;
    // A run of many names at once ends now: the program must not wait for its exchanges.
    run_->Abandon();
    CancelImport();
    const std::exception_ptr failure = TryStopping([this] { StopBtnClick(); });
    canClose = true;
    RethrowIfFailed(failure);
}

void TForm1::BitBtn2Click() {
    if (!ResultsMayGo())
        return;
    run_->Start();
}

void TForm1::StopBtnClick() {
    run_->Stop();
}

void TForm1::BitBtn1Click() {
    try {
        StopBtnClick();
        if (settingsDialog_)
            settingsDialog_();
    } catch (...) {
        platform::ProcessMessages();
        throw;
    }
    platform::ProcessMessages();
}

void TForm1::Open1Click() {
    if (!ResultsMayGo())
        return;
    StopBtnClick();
    OpenDialog1->setDirectory(StartFolder(FileKind::Results));
    const std::optional<std::string> file = ChooseFile(*OpenDialog1);
    if (!file)
        return;
    // Loaded beside the rows on screen, which stay as they are when the file cannot be loaded.
    results::ResultList loaded(results_.GetColumns());
    try {
        results::LoadResultsFile(*file, loaded);
    } catch (const results::EResultsFileError &failure) {
        platform::ShowMessage("Could not open " + *file + ": " + Capitalised(failure.Reason()) +
                              ". The results on screen are kept.");
        return;
    }
    // The loaded rows replace the run's: its exchanges end now and its results are dropped.
    run_->Abandon();
    ReplaceRows(results_, loaded);
    resultsChanged_ = false;
    RememberFolder(FileKind::Results, *file);
}

void TForm1::Save1Click() {
    SaveResults();
}

bool TForm1::SaveResults() {
    StopBtnClick();
    const std::optional<std::string> file =
        ChooseSaveFile(QStringLiteral("Save file"), QString::fromLatin1(kResultsFilter),
                       kResultsSuffix, FileKind::Results);
    if (!file)
        return false;
    try {
        results::WriteResultsFile(*file, results_);
    } catch (const std::exception &failure) {
        platform::ShowMessage("Could not save results to " + *file + ": " +
                              WriteFailureReason(failure) + ".");
        return false;
    }
    resultsChanged_ = false;
    RememberFolder(FileKind::Results, *file);
    return true;
}

bool TForm1::ResultsMayGo() {
    if (!resultsChanged_ || results_.Count() == 0)
        return true;
    QMessageBox question(QMessageBox::Question, QStringLiteral("Nimbrel"),
                         QStringLiteral("Save the results first?"),
                         QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    question.setObjectName(QStringLiteral("SaveQuestion"));
    question.setDefaultButton(QMessageBox::Save);
    question.setEscapeButton(QMessageBox::Cancel);
    switch (question.exec()) {
    case QMessageBox::Save:
        return SaveResults();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void TForm1::Savetotextfile1Click() {
    StopBtnClick();
    const std::optional<std::string> file =
        ChooseSaveFile(QStringLiteral("Save names list"), QString::fromLatin1(kNamesFilter),
                       kNamesSuffix, FileKind::NamesList);
    if (!file)
        return;
    try {
        results::WriteNamesList(*file, results_);
    } catch (const std::exception &failure) {
        platform::ShowMessage("Could not save the names list to " + *file + ": " +
                              WriteFailureReason(failure) + ".");
        return;
    }
    RememberFolder(FileKind::NamesList, *file);
}

void TForm1::Exit1Click() {
    // Closing asks about unsaved results and stops a running search (FormCloseQuery).
    close();
}

void TForm1::ImportWebGraph1Click() {
    ImportIndex(rankindex::RankKind::WebGraph, QStringLiteral("Import web graph"),
                QStringLiteral("Web graph domain ranks (*.txt *.gz *.zip);;All files (*)"));
}

void TForm1::ImportRankList1Click() {
    ImportIndex(rankindex::RankKind::RankList, QStringLiteral("Import rank list"),
                QStringLiteral("Top sites lists (*.csv *.zip *.gz);;All files (*)"));
}

void TForm1::ImportIndex(rankindex::RankKind kind, const QString &title, const QString &filter) {
    if (import_)
        return;
    QFileDialog dialog(this, title, StartFolder(FileKind::RankFile), filter);
    dialog.setObjectName(QStringLiteral("ImportDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const std::optional<std::string> file = ChooseFile(dialog);
    if (!file)
        return;
    RememberFolder(FileKind::RankFile, *file);
    import_ = std::make_unique<IndexImport>(kind, *file, rankindex::DefaultIndexFolder());
    ImportProgress1->setLabelText(
        QStringLiteral("Reading %1...").arg(QFileInfo(ToQString(*file)).fileName()));
    ImportProgress1->setValue(0);
    ImportProgress1->open();
    ImportTimer1->start();
}

void TForm1::SetRegistryUpdate(std::function<registry::RegistryDataUpdate()> update) {
    updateRegistryData_ = std::move(update);
}

void TForm1::UpdateRegistryData1Click() {
    if (registryUpdate_)
        return;
    UpdateRegistryData1->setEnabled(false);
    SetStatusText("Updating the registry data...");
    registryUpdate_ = std::make_unique<RegistryUpdate>(
        updateRegistryData_, this, [this](const registry::RegistryDataUpdate &update) {
            registryUpdate_.reset();
            UpdateRegistryData1->setEnabled(true);
            SetStatusText(registry::UpdateReport(update));
        });
}

core::CheckRun::SetupChooser TForm1::NotingOldData(core::CheckRun::SetupChooser choose) {
    return [this, choose = std::move(choose)] {
        core::CheckSetup setup = choose();
        const auto &published = setup.registryDataPublished;
        if (!oldDataSaid_ && registry::IsRegistryDataOld(published, registry::Today())) {
            oldDataSaid_ = true;
            oldDataNote_ = "The registry data is from " + registry::PublicationDay(*published) +
                           ", more than " + std::to_string(registry::kOldRegistryData.count()) +
                           " days old; update it with Data \u2192 Update registry data";
            SetStatusText(oldDataNote_);
        }
        return setup;
    };
}

void TForm1::PollImport() {
    if (!import_)
        return;
    if (ImportProgress1->wasCanceled())
        import_->Cancel();
    if (!import_->Finished()) {
        const rankindex::ImportProgress progress = import_->Progress();
        if (progress.stage == rankindex::ImportProgress::Stage::Writing)
            ImportProgress1->setLabelText(QStringLiteral("Writing the index..."));
        if (progress.total)
            ImportProgress1->setValue(
                static_cast<int>(kImportSteps * progress.done / progress.total));
        return;
    }
    ImportTimer1->stop();
    const std::string outcome = import_->Outcome();
    import_.reset();
    ImportProgress1->reset();
    ImportProgress1->hide();
    platform::ShowMessage(outcome);
}

void TForm1::CancelImport() {
    ImportTimer1->stop();
    import_.reset();
    ImportProgress1->hide();
}

void TForm1::Contents1Click() {
    platform::ShellOpen(programFolder_ + kHelpFile, platform::ShowWindow::Maximized);
}

void TForm1::Homepage1Click() {
    platform::ShellOpen(kHomepage, platform::ShowWindow::Maximized);
}

void TForm1::About1Click() {
    const std::exception_ptr failure = TryStopping([this] { StopBtnClick(); });
    if (aboutBox_)
        aboutBox_();
    RethrowIfFailed(failure);
}

void TForm1::ListView1ColumnClick(int column) {
    results_.SortByColumn(column);
}

void TForm1::Registerthisdomain1Click() {
    results::OpenRegistration(options_.reg);
}

void TForm1::Checkitmanually1Click() {
    results::OpenSelectedSite(results_);
}

void TForm1::Openoffer1Click() {
    results::OpenSelectedOffer(results_);
}

void TForm1::SelectAll1Click() {
    results::CheckAll(results_);
}

void TForm1::SelectNone1Click() {
    results::UncheckAll(results_);
}

void TForm1::InvertSelection1Click() {
    results::InvertChecks(results_);
}

void TForm1::Force1Click() {
    run_->ForceDetails();
}

void TForm1::Watch1Click() {
    std::vector<std::string> names;
    for (int i = 0; i < results_.Count(); ++i)
        if (results_.Row(i)->Checked())
            names.push_back(base::AsciiLower(results_.Row(i)->Caption()));
    if (names.empty())
        if (const auto row = results_.SelectedRow())
            names.push_back(base::AsciiLower(row->Caption()));
    if (names.empty())
        return;
    try {
        core::WatchList watch(core::WatchList::DefaultFile());
        const int added = watch.Add(names);
        SetStatusText(std::to_string(added) + (added == 1 ? " name" : " names") +
                      " added to the watch list");
    } catch (const core::EWatchListError &failure) {
        SetStatusText(failure.Message());
    }
}

void TForm1::Watchlist1Click() {
    if (!watchForm_)
        watchForm_ = new TWatchForm(options_, chooseWatchSetup_, run_->Context(), this);
    watchForm_->Refresh();
    watchForm_->show();
    watchForm_->raise();
    watchForm_->activateWindow();
}

void TForm1::SetWatchSetup(std::function<core::CheckSetup(const core::SearchOptions &)> choose) {
    chooseWatchSetup_ = std::move(choose);
}

QString TForm1::StatusText() const {
    return StatusBar1->findChild<QLabel *>(QStringLiteral("StatusText"))->text();
}

void TForm1::ShowProgress(const core::RunProgress &progress) {
    SetStatusText(core::StatusText(progress));
    ShowRunBar(progress);
}

void TForm1::ShowRunBar(const core::RunProgress &progress) {
    // A stopping run keeps the bar where it stood until it is done.
    if (progress.stopping)
        return;
    // One name needs no bar; its status text says all there is.
    if (progress.count < 2) {
        RunProgress1->hide();
        return;
    }
    // A names list is far shorter than an int's range; the clamp only keeps the cast sound.
    const auto clamp = [](std::size_t n) {
        return static_cast<int>(std::min<std::size_t>(n, std::numeric_limits<int>::max()));
    };
    RunProgress1->setRange(0, clamp(progress.count));
    RunProgress1->setValue(clamp(progress.position));
    RunProgress1->show();
}

void TForm1::ShowDone(const core::RunEnd &end) {
    RunProgress1->hide();
    RunProgress1->reset();
    const std::string done(end.noRegistryReached ? core::kNoRegistryReachedText
                                                 : core::kRunDoneText);
    // The note on old registry data stays in sight once the progress has passed over it.
    if (oldDataNote_.empty()) {
        SetStatusText(done);
        return;
    }
    SetStatusText(done + " " + oldDataNote_);
    oldDataNote_.clear();
}

void TForm1::SetStatusText(const std::string &text) {
    StatusBar1->findChild<QLabel *>(QStringLiteral("StatusText"))->setText(ToQString(text));
}

core::KeywordsAnswer TForm1::ShowKeywordsModal() {
    return keywordsDialog_ ? keywordsDialog_() : core::KeywordsAnswer::Cancel;
}

std::optional<std::string> TForm1::ChooseFile(QFileDialog &dialog) {
    if (chooseFile_)
        return chooseFile_(dialog);
    const int answer = dialog.exec();
    HideCompletions(dialog);
    if (answer != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return ToStdString(dialog.selectedFiles().first());
}

std::optional<std::string> TForm1::ChooseSaveFile(const QString &title, const QString &filter,
                                                  const char *suffix, FileKind kind) {
    QFileDialog dialog(this, title, StartFolder(kind), filter);
    dialog.setObjectName(QStringLiteral("SaveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QString::fromLatin1(suffix));
    std::optional<std::string> file = ChooseFile(dialog);
    // Some desktops' own dialogs leave the default suffix to the program.
    if (file && QFileInfo(ToQString(*file)).suffix().isEmpty())
        *file += std::string(".") + suffix;
    return file;
}

} // namespace ui
