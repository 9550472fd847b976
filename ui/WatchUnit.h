#pragma once

#include "core/SearchOptions.h"
#include "core/WatchCheck.h"
#include "core/WatchList.h"
#include "net/NetworkContext.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace ui {

// The "Watchlist" window: the watched names with the columns of nimbrel-cli --watch-list, the
// history of the selected name below, Remove and "Check now". Reading the list is a quick
// SQLite read on the window's thread; the check runs on a thread of its own (core::WatchCheck),
// whose reports come back queued to this window, and ends when the window closes. The names a
// check of this window found newly free come first, in bold, marked "now free", and each gets a
// desktop notice.
class TWatchForm : public QWidget {
    Q_OBJECT

public:
    // What a check asks, from the user's options as they stand when it starts; called on the
    // check's thread.
    using SetupChooser = std::function<core::CheckSetup(const core::SearchOptions &)>;

    TWatchForm(const core::SearchOptions &options, SetupChooser choose, net::NetworkContext network,
               QWidget *parent = nullptr);
    ~TWatchForm() override;

    // The clock of the checks and of the expected release (tests set one).
    void SetClock(core::WatchList::Clock clock) { clock_ = std::move(clock); }

    // Reads the list again and shows it, the selection kept where the name still is.
    void Refresh();
    // Stops watching the selected names.
    void RemoveClick();
    // Checks every watched name off the window's thread; nothing while a check runs.
    void CheckNowClick();
    bool Checking() const { return check_ != nullptr; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct NoticeState;

    void CreateControls();
    void ShowNames(const std::vector<core::WatchedName> &names);
    void ShowHistory();
    std::vector<std::string> SelectedNames() const;
    void SetStatusText(const std::string &text);
    void StopCheck();
    // The check's reports, on this window's thread; those of an earlier check are dropped.
    void CheckProgressed(std::uint64_t check, std::size_t position, std::size_t count);
    void CheckEnded(std::uint64_t check, const core::WatchCheckEnd &end, std::string noticeNote);
    core::WatchCheck::Reports ReportsFor(std::uint64_t check);

    const core::SearchOptions &options_;
    const SetupChooser choose_;
    const net::NetworkContext network_;
    core::WatchList::Clock clock_;
    // The names this window's checks found newly free.
    std::set<std::string> nowFree_;
    std::unique_ptr<core::WatchCheck> check_;
    std::uint64_t checkNumber_ = 0;

    QTableWidget *NamesView1;
    QTableWidget *HistoryView1;
    QPushButton *RemoveBtn;
    QPushButton *CheckNowBtn;
    QProgressBar *CheckProgress1;
    QLabel *StatusText1;
};

} // namespace ui
