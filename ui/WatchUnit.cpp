#include "ui/WatchUnit.h"

#include "core/RowCells.h"
#include "core/WatchReport.h"
#include "platform/DesktopNotices.h"
#include "ui/QtText.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace ui {
namespace {

using namespace std::chrono;

// The columns of nimbrel-cli --watch-list, and of a name's history.
const QStringList kNameCaptions = {
    QStringLiteral("Domain name"),      QStringLiteral("Available"),
    QStringLiteral("Status"),           QStringLiteral("Expires"),
    QStringLiteral("Expected release"), QStringLiteral("Last checked")};
const QStringList kHistoryCaptions = {QStringLiteral("Time"),      QStringLiteral("Available"),
                                      QStringLiteral("Status"),    QStringLiteral("Expires"),
                                      QStringLiteral("Registrar"), QStringLiteral("Evidence")};
constexpr const char *kNowFreeMark = "Yes (now free)";

template <class Object> Object *Named(Object *object, const char *name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

std::string OrNone(const std::string &text) {
    return text.empty() ? core::kNoDetail : text;
}

QTableWidget *MakeTable(QWidget *parent, const char *name, const QStringList &captions) {
    auto *table = Named(new QTableWidget(0, static_cast<int>(captions.size()), parent), name);
    table->setHorizontalHeaderLabels(captions);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    table->setWordWrap(false);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void FillRow(QTableWidget &table, int row, const std::vector<std::string> &cells, bool bold) {
    for (int column = 0; column < static_cast<int>(cells.size()); ++column) {
        auto *item = new QTableWidgetItem(ToQString(cells[static_cast<std::size_t>(column)]));
        QFont font = item->font();
        font.setBold(bold);
        item->setFont(font);
        table.setItem(row, column, item);
    }
}

std::string AvailabilityText(const std::optional<core::WatchState> &state) {
    return state ? std::string(probes::AvailabilityWord(state->available)) : core::kNoDetail;
}

// A change that made a taken name free; a first check that finds a name free says nothing new.
bool BecameFree(const core::WatchChange &change) {
    return change.before && change.before->available != probes::Availability::Free &&
           change.after.available == probes::Availability::Free;
}

std::string Plural(std::size_t count, const char *word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

// What the status line says once a check has ended.
std::string EndText(const core::WatchCheckEnd &end) {
    if (!end.problem.empty())
        return end.problem;
    std::string text = end.stopped ? "Check stopped after " : "Checked ";
    text += Plural(static_cast<std::size_t>(end.checked), "name") + ", " +
            Plural(end.changes.size(), "change");
    if (end.undecided > 0)
        text += "; " + Plural(static_cast<std::size_t>(end.undecided), "name") +
                " could not be checked";
    if (end.failed > 0)
        text += "; " + Plural(static_cast<std::size_t>(end.failed), "name") +
                " could not be recorded: " + end.failure;
    return text;
}

} // namespace

// The desktop notices of one check, on the check's thread: connected at the first, and without
// a bus, a note for the status line instead.
struct TWatchForm::NoticeState {
    void Send(const core::WatchNotice &notice) {
        try {
            if (!notices) {
                const auto address = platform::DesktopNotices::SessionBusAddress();
                if (!address)
                    throw platform::ENoticeError("no session bus for desktop notices");
                notices = std::make_unique<platform::DesktopNotices>(*address, "Nimbrel");
            }
            notices->Show(notice.summary, notice.body);
        } catch (const platform::ENoticeError &failure) {
            note += (note.empty() ? "" : "; ") + notice.summary + " (" + failure.Message() + ")";
        }
    }

    std::unique_ptr<platform::DesktopNotices> notices;
    std::string note;
};

TWatchForm::TWatchForm(const core::SearchOptions &options, SetupChooser choose,
                       net::NetworkContext network, QWidget *parent)
    : QWidget(parent, Qt::Window), options_(options), choose_(std::move(choose)),
      network_(std::move(network)) {
    setObjectName(QStringLiteral("WatchForm"));
    setWindowTitle(QStringLiteral("Watchlist"));
    CreateControls();
    resize(960, 520);
}

TWatchForm::~TWatchForm() {
    StopCheck();
}

void TWatchForm::CreateControls() {
    auto *layout = new QVBoxLayout(this);
    auto *split = Named(new QSplitter(Qt::Vertical, this), "Splitter1");
    NamesView1 = MakeTable(split, "NamesView1", kNameCaptions);
    NamesView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    HistoryView1 = MakeTable(split, "HistoryView1", kHistoryCaptions);
    HistoryView1->setSelectionMode(QAbstractItemView::NoSelection);
    layout->addWidget(split, 1);

    auto *buttons = new QHBoxLayout;
    RemoveBtn = Named(new QPushButton(QStringLiteral("&Remove"), this), "RemoveBtn");
    CheckNowBtn = Named(new QPushButton(QStringLiteral("&Check now"), this), "CheckNowBtn");
    CheckProgress1 = Named(new QProgressBar(this), "CheckProgress1");
    CheckProgress1->setFormat(QStringLiteral("%v/%m"));
    CheckProgress1->hide();
    buttons->addWidget(RemoveBtn);
    buttons->addWidget(CheckNowBtn);
    buttons->addWidget(CheckProgress1, 1);
    buttons->addStretch();
    layout->addLayout(buttons);
    StatusText1 = Named(new QLabel(this), "StatusText1");
    layout->addWidget(StatusText1);

    connect(NamesView1, &QTableWidget::itemSelectionChanged, this, [this] { ShowHistory(); });
    connect(RemoveBtn, &QPushButton::clicked, this, [this] { RemoveClick(); });
    connect(CheckNowBtn, &QPushButton::clicked, this, [this] { CheckNowClick(); });
}

void TWatchForm::Refresh() {
    try {
        core::WatchList watch(core::WatchList::DefaultFile(), clock_);
        if (!watch.Note().empty())
            SetStatusText(watch.Note());
        ShowNames(watch.Names());
    } catch (const core::EWatchListError &failure) {
        ShowNames({});
        SetStatusText(failure.Message());
    }
}

void TWatchForm::ShowNames(const std::vector<core::WatchedName> &names) {
    const std::vector<std::string> selected = SelectedNames();
    // The names this window's check found free come first, each group in name order.
    std::vector<const core::WatchedName *> order;
    for (const core::WatchedName &name : names)
        order.push_back(&name);
    std::stable_partition(order.begin(), order.end(),
                          [this](const auto *name) { return nowFree_.contains(name->name); });
    const sys_days today = floor<days>(clock_ ? clock_() : system_clock::now());
    const QSignalBlocker quiet(NamesView1);
    NamesView1->clearContents();
    NamesView1->setRowCount(static_cast<int>(order.size()));
    for (int row = 0; row < static_cast<int>(order.size()); ++row) {
        const core::WatchedName &name = *order[static_cast<std::size_t>(row)];
        const core::WatchState state = name.state.value_or(core::WatchState{});
        const auto release = core::ReleaseOf(name, today);
        const bool nowFree = nowFree_.contains(name.name);
        FillRow(*NamesView1, row,
                {name.name, nowFree ? kNowFreeMark : AvailabilityText(name.state),
                 OrNone(state.status), OrNone(state.expires),
                 release ? core::ReleaseText(*release) : core::kNoDetail,
                 name.checkedAt ? core::TimeText(*name.checkedAt) : core::kNoDetail},
                nowFree);
        if (std::find(selected.begin(), selected.end(), name.name) != selected.end())
            NamesView1->selectionModel()->select(NamesView1->model()->index(row, 0),
                                                 QItemSelectionModel::Select |
                                                     QItemSelectionModel::Rows);
    }
    NamesView1->resizeColumnsToContents();
    ShowHistory();
}

std::vector<std::string> TWatchForm::SelectedNames() const {
    std::vector<std::string> names;
    for (const QModelIndex &index : NamesView1->selectionModel()->selectedRows())
        names.push_back(ToStdString(NamesView1->item(index.row(), 0)->text()));
    return names;
}

void TWatchForm::ShowHistory() {
    HistoryView1->setRowCount(0);
    const QModelIndex current = NamesView1->currentIndex();
    const std::vector<std::string> selected = SelectedNames();
    if (selected.empty())
        return;
    // The current row's name when it is selected, else the first selected.
    std::string name = selected.front();
    if (current.isValid() && NamesView1->selectionModel()->isRowSelected(current.row()))
        name = ToStdString(NamesView1->item(current.row(), 0)->text());
    try {
        core::WatchList watch(core::WatchList::DefaultFile(), clock_);
        const std::vector<core::WatchHistoryRow> rows = watch.History(name);
        HistoryView1->setRowCount(static_cast<int>(rows.size()));
        for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
            const core::WatchHistoryRow &entry = rows[static_cast<std::size_t>(row)];
            FillRow(*HistoryView1, row,
                    {core::TimeText(entry.checkedAt),
                     std::string(probes::AvailabilityWord(entry.state.available)),
                     OrNone(entry.state.status), OrNone(entry.state.expires),
                     OrNone(entry.state.registrar), OrNone(entry.state.evidence)},
                    false);
        }
        HistoryView1->resizeColumnsToContents();
    } catch (const core::EWatchListError &failure) {
        SetStatusText(failure.Message());
    }
}

void TWatchForm::RemoveClick() {
    const std::vector<std::string> names = SelectedNames();
    if (names.empty())
        return;
    try {
        core::WatchList watch(core::WatchList::DefaultFile(), clock_);
        const int removed = watch.Remove(names);
        for (const std::string &name : names)
            nowFree_.erase(name);
        NamesView1->clearSelection();
        ShowNames(watch.Names());
        SetStatusText(Plural(static_cast<std::size_t>(removed), "name") +
                      " removed from the watch list");
    } catch (const core::EWatchListError &failure) {
        SetStatusText(failure.Message());
    }
}

void TWatchForm::CheckNowClick() {
    if (check_)
        return;
    core::WatchList::Clock clock = clock_;
    const std::uint64_t number = ++checkNumber_;
    // The options as they stand now, copied: the check's thread reads them while the user may
    // change the settings.
    auto choose = [choose = choose_, options = options_] { return choose(options); };
    net::NetworkContext context = network_;
    context.Sockets = network_.Sockets->Fresh(network_.RequestTimeout);
    nowFree_.clear();
    CheckNowBtn->setEnabled(false);
    RemoveBtn->setEnabled(false);
    CheckProgress1->setRange(0, 0);
    CheckProgress1->show();
    SetStatusText("Checking the watched names...");
    check_ = std::make_unique<core::WatchCheck>(core::WatchList::DefaultFile(), std::move(clock),
                                                std::move(choose), std::move(context),
                                                ReportsFor(number));
}

core::WatchCheck::Reports TWatchForm::ReportsFor(std::uint64_t check) {
    // Made and used on the check's thread only; the window sees its note at the end.
    auto notices = std::make_shared<NoticeState>();
    const core::WatchList::Clock clock = clock_;
    core::WatchCheck::Reports reports;
    // Queued to this window: the check's thread never touches a widget. The window stops and
    // joins the check before it goes, and calls still queued then go with it.
    reports.progress = [this, check](const core::RunProgress &progress) {
        QMetaObject::invokeMethod(
            this,
            [this, check, position = progress.position, count = progress.count] {
                CheckProgressed(check, position, count);
            },
            Qt::QueuedConnection);
    };
    reports.change = [notices, clock](const core::WatchChange &change) {
        if (!BecameFree(change))
            return;
        const auto now = clock ? clock() : system_clock::now();
        if (const auto notice = core::NoticeFor(change, floor<days>(now)))
            notices->Send(*notice);
    };
    reports.end = [this, check, notices](const core::WatchCheckEnd &end) {
        QMetaObject::invokeMethod(
            this, [this, check, end, note = notices->note] { CheckEnded(check, end, note); },
            Qt::QueuedConnection);
    };
    return reports;
}

void TWatchForm::CheckProgressed(std::uint64_t check, std::size_t position, std::size_t count) {
    if (check != checkNumber_ || !check_)
        return;
    CheckProgress1->setRange(0, static_cast<int>(count));
    CheckProgress1->setValue(static_cast<int>(position - 1));
}

void TWatchForm::CheckEnded(std::uint64_t check, const core::WatchCheckEnd &end,
                            std::string noticeNote) {
    if (check != checkNumber_ || !check_)
        return;
    // The thread has sent its last report; the join is immediate.
    check_.reset();
    for (const core::WatchChange &change : end.changes)
        if (BecameFree(change))
            nowFree_.insert(change.name);
    CheckProgress1->hide();
    CheckNowBtn->setEnabled(true);
    RemoveBtn->setEnabled(true);
    Refresh();
    std::string text = EndText(end);
    if (!noticeNote.empty())
        text += "; " + noticeNote;
    SetStatusText(text);
}

void TWatchForm::StopCheck() {
    // Interrupting the check's socket layer ends its exchange under way; the join is bounded
    // by that wake-up, not by a registry's answer.
    check_.reset();
    CheckProgress1->hide();
    CheckNowBtn->setEnabled(true);
    RemoveBtn->setEnabled(true);
}

void TWatchForm::SetStatusText(const std::string &text) {
    StatusText1->setText(ToQString(text));
}

void TWatchForm::closeEvent(QCloseEvent *event) {
    StopCheck();
    QWidget::closeEvent(event);
}

} // namespace ui
