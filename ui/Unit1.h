#pragma once

#include "core/CandidateGenerator.h"
#include "core/CheckRun.h"
#include "registry/RegistryDataUpdate.h"
#include "results/ResultList.h"

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QFileDialog;
class QLabel;
class QMenu;
class QProgressBar;
class QProgressDialog;
class QStatusBar;
class QTimer;
class QToolButton;

namespace core {
class SearchOptions;
}
namespace rankindex {
enum class RankKind : std::uint32_t;
}

namespace ui {

class IndexImport;
class RegistryUpdate;
class ResultListView;
class TWatchForm;
enum class FileKind;

// The product's own page, opened by "The Nimbrel homepage...".
inline constexpr const char *kHomepage = "http://www.pellwick.com/nimbrel/";
// The help page, beside the executable.
inline constexpr const char *kHelpFile = "help.html";

// The main window: banner, Start, Stop and Settings buttons, the result list, the status bar and
// the menus. It owns the result list, the candidate and scratch lists and the check run. Every
// command that opens a dialog, loads or saves a file or ends the program stops a running search
// first; since a run drains the message queue, such a command runs nested inside the run.
class TForm1 : public QMainWindow, private core::ProgressView, private core::KeywordsPrompt {
    Q_OBJECT

public:
    // Shows a file dialog and returns the chosen file, or nothing when the user cancelled.
    using FileChooser = std::function<std::optional<std::string>(QFileDialog &dialog)>;
    using ShowDialog = std::function<void()>;
    // Shows the keywords dialog modally and says whether the user searched.
    using AskKeywords = std::function<core::KeywordsAnswer()>;

    // Every run asks choose what to ask, as it starts: the settings, the indexes and the imports
    // finished by then count. The list shows the captions of the first choice until a run
    // starts.
    TForm1(core::SearchOptions &options, core::CheckRun::SetupChooser choose,
           net::NetworkContext context, QWidget *parent = nullptr);
    // Every run asks probes.
    TForm1(core::SearchOptions &options, probes::ProbeList probes, net::NetworkContext context,
           QWidget *parent = nullptr);
    // The list shows the given columns (captions that say where a detail comes from).
    TForm1(core::SearchOptions &options, probes::ProbeList probes, results::Columns columns,
           net::NetworkContext context, QWidget *parent = nullptr);
    ~TForm1() override;

    // The keywords dialog, the about box and the settings dialog are created after this window;
    // they are attached here once they exist. Each shows its dialog modally.
    void AttachDialogs(AskKeywords keywords, ShowDialog about, ShowDialog settings);
    // Replaces how file dialogs are shown (tests answer them without a screen).
    void SetFileChooser(FileChooser chooser);
    // Replaces what Data -> Update registry data does (tests fetch from their own server).
    void SetRegistryUpdate(std::function<registry::RegistryDataUpdate()> update);
    // Whether an update of the registry data runs.
    bool UpdatingRegistryData() const { return registryUpdate_ != nullptr; }

    void FormCreate();
    void FormCloseQuery(bool &canClose);

    // Start, Stop, Settings.
    void BitBtn2Click();
    void StopBtnClick();
    void BitBtn1Click();
    // "&Results" menu.
    void Open1Click();
    void Save1Click();
    void Exit1Click();
    // "Domains" menu.
    void Savetotextfile1Click();
    // "D&ata" menu: each asks for a rank file and imports it while the window stays live.
    void ImportWebGraph1Click();
    void ImportRankList1Click();
    // Fetches IANA's current RDAP bootstrap file into the user's registry data off the window's
    // thread; the outcome goes to the status line.
    void UpdateRegistryData1Click();
    // "&Help" menu.
    void Contents1Click();
    void Homepage1Click();
    void About1Click();

    // The result list's header and popup menu; none of these stops a run.
    void ListView1ColumnClick(int column);
    void Registerthisdomain1Click();
    void Checkitmanually1Click();
    // Opens the selected row's offer; shown in the popup only for an http or https offer.
    void Openoffer1Click();
    void SelectAll1Click();
    void SelectNone1Click();
    void InvertSelection1Click();
    void Force1Click();
    // Adds the marked names, or the clicked one when none is marked, to the watch list.
    void Watch1Click();
    // "Domains" -> "Watchlist...": shows the watch list's window, made at the first.
    void Watchlist1Click();
    // Replaces what the watch list's checks ask (the program's registry settings, a test's
    // servers); called on the check's thread.
    void SetWatchSetup(std::function<core::CheckSetup(const core::SearchOptions &)> choose);
    // The watch list's window once it was opened, else nullptr.
    TWatchForm *WatchForm() const { return watchForm_; }

    // The executable's folder with its trailing separator, where the help page stands; empty
    // before FormCreate. File dialogs never start here (see WindowStore.h).
    const std::string &ProgramFolder() const { return programFolder_; }
    results::ResultList &Results() { return results_; }
    const core::StringList &Candidates() const { return candidates_; }
    // What the status bar shows.
    QString StatusText() const;
    // Whether the rows have changed since they were last saved or loaded; a search that found
    // rows counts as a change.
    bool HasUnsavedResults() const { return resultsChanged_; }
    // Whether an import runs.
    bool Importing() const { return import_ != nullptr; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TForm1(core::SearchOptions &options, const core::CheckRun::SetupChooser &choose,
           results::Columns columns, net::NetworkContext context, QWidget *parent);

    // choose, saying once a session when the registry data the run uses is old.
    core::CheckRun::SetupChooser NotingOldData(core::CheckRun::SetupChooser choose);
    void ShowProgress(const core::RunProgress &progress) override;
    void ShowDone(const core::RunEnd &end) override;
    void SetStatusText(const std::string &text);
    // The run's position on the status bar's progress bar, shown only for a run of many names.
    void ShowRunBar(const core::RunProgress &progress);
    core::KeywordsAnswer ShowKeywordsModal() override;

    void CreateControls();
    void CreateMenus();
    void CreatePopupMenu();
    void ConnectControls();
    void SetClientAreaSize();
    void PlaceList();
    std::optional<std::string> ChooseFile(QFileDialog &dialog);
    std::optional<std::string> ChooseSaveFile(const QString &title, const QString &filter,
                                              const char *suffix, FileKind kind);
    // Asks for a file and saves the rows to it; false when the user cancelled or it failed (the
    // failure has been shown then).
    bool SaveResults();
    // Asks "Save the results first?" when unsaved rows would be lost; true when the command may
    // go on (saved, or discarded, or nothing to lose).
    bool ResultsMayGo();
    void ImportIndex(rankindex::RankKind kind, const QString &title, const QString &filter);
    // Follows the running import; shows its outcome once it has finished.
    void PollImport();
    // Cancels a running import and waits for its thread.
    void CancelImport();

    core::SearchOptions &options_;
    std::string programFolder_;
    core::StringList candidates_;
    core::StringList scratch_;
    results::ResultList results_;
    std::unique_ptr<core::CheckRun> run_;
    AskKeywords keywordsDialog_;
    ShowDialog aboutBox_;
    ShowDialog settingsDialog_;
    FileChooser chooseFile_;
    bool centred_ = false;
    bool resultsChanged_ = false;
    std::unique_ptr<IndexImport> import_;
    std::function<registry::RegistryDataUpdate()> updateRegistryData_;
    std::function<core::CheckSetup(const core::SearchOptions &)> chooseWatchSetup_;
    // A child window, destroyed (its check stopped and joined) with this one.
    TWatchForm *watchForm_ = nullptr;
    std::unique_ptr<RegistryUpdate> registryUpdate_;
    // Said on the status line when the run that found the registry data old is done.
    std::string oldDataNote_;
    bool oldDataSaid_ = false;

    QLabel *Image1;
    QToolButton *BitBtn2;
    QToolButton *StopBtn;
    QToolButton *BitBtn1;
    ResultListView *ListView1;
    QStatusBar *StatusBar1;
    QProgressBar *RunProgress1;
    QFileDialog *OpenDialog1;
    QList<QIcon> ImageList1;
    QProgressDialog *ImportProgress1;
    QTimer *ImportTimer1;

    QMenu *File1;
    QAction *Open1;
    QAction *Save1;
    QAction *N2;
    QAction *Exit1;
    QMenu *Domains1;
    QAction *Savetotextfile1;
    QAction *Watchlist1;
    QMenu *Data1;
    QAction *ImportWebGraph1;
    QAction *ImportRankList1;
    QAction *UpdateRegistryData1;
    QMenu *Help1;
    QAction *Contents1;
    QAction *Homepage1;
    QAction *N1;
    QAction *About1;

    QMenu *PopupMenu2;
    QAction *Registerthisdomain1;
    QAction *Checkitmanually1;
    QAction *Openoffer1;
    QAction *MenuItem2;
    QAction *MenuItem3;
    QAction *MenuItem5;
    QAction *Force1;
    QAction *Watch1;
};

} // namespace ui
