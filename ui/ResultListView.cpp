#include "ui/ResultListView.h"

#include "results/ResultList.h"
#include "ui/ResultTableModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

#include <numeric>
#include <utility>

namespace ui {

// Draws the cells as the style does, except for the focus frame while no row is selected (a
// frame with nothing selected tells the user that Space and the popup would act on a row);
// and tells where a cell's check box is.
class ResultCellDelegate : public QStyledItemDelegate {
public:
    explicit ResultCellDelegate(QAbstractItemView *view) : QStyledItemDelegate(view), view_(view) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override {
        QStyleOptionViewItem look(option);
        if (!view_->selectionModel() || !view_->selectionModel()->hasSelection())
            look.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, look, index);
    }

    QRect CheckBoxRect(const QStyleOptionViewItem &base, const QModelIndex &index) const {
        QStyleOptionViewItem option(base);
        initStyleOption(&option, index);
        if (!(option.features & QStyleOptionViewItem::HasCheckIndicator))
            return {};
        const QWidget *widget = option.widget;
        const QStyle *style = widget ? widget->style() : QApplication::style();
        return style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, widget);
    }

private:
    QAbstractItemView *view_;
};

std::vector<int> FitColumnWidths(const std::vector<int> &preferred, const std::vector<int> &minimum,
                                 int available) {
    std::vector<int> widths = preferred;
    if (widths.empty())
        return widths;
    const int total = std::accumulate(preferred.begin(), preferred.end(), 0);
    if (available >= total) {
        widths.back() += available - total;
        return widths;
    }
    int slack = 0;
    for (std::size_t i = 0; i < widths.size(); ++i)
        slack += std::max(0, preferred[i] - minimum[i]);
    const int deficit = total - available;
    if (deficit >= slack) {
        for (std::size_t i = 0; i < widths.size(); ++i)
            widths[i] = std::min(preferred[i], minimum[i]);
        return widths;
    }
    int cut = 0;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        const int share = deficit * std::max(0, preferred[i] - minimum[i]) / slack;
        widths[i] -= share;
        cut += share;
    }
    // What rounding left over comes off the columns that still have room, first column first.
    for (std::size_t i = 0; cut < deficit && i < widths.size(); ++i) {
        const int more = std::min(deficit - cut, widths[i] - minimum[i]);
        if (more > 0) {
            widths[i] -= more;
            cut += more;
        }
    }
    return widths;
}

ResultListView::ResultListView(results::ResultList &list, QWidget *parent)
    : QTableView(parent), list_(list), model_(new ResultTableModel(list, this)),
      delegate_(new ResultCellDelegate(this)) {
    setModel(model_);
    setItemDelegate(delegate_);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    SetUpColumns();

    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &ResultListView::ColumnClicked);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int newWidth) { ColumnResized(column, newWidth); });
    connect(this, &QWidget::customContextMenuRequested, this, &ResultListView::RightClicked);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ResultListView::SelectionChanged);
    connect(model_, &ResultTableModel::ListWasReset, this, &ResultListView::ShowListSelection);
}

void ResultListView::SetUpColumns() {
    QHeaderView *header = horizontalHeader();
    header->setSortIndicatorShown(false);
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Each column keeps its own minimum (KeepMinimumWidth); the header's own would be wider than
    // the slivers that further columns may shrink to.
    header->setMinimumSectionSize(1);
    HideUnshownColumns();
    for (int column = 0; column < model_->columnCount(); ++column)
        header->resizeSection(column, model_->Width(column));
}

void ResultListView::HideUnshownColumns() {
    for (int column = 0; column < model_->columnCount(); ++column)
        setColumnHidden(column, !model_->Shown(column));
}

int ResultListView::LastShownColumn() const {
    int last = model_->columnCount() - 1;
    while (last > 0 && !model_->Shown(last))
        --last;
    return last;
}

void ResultListView::ColumnResized(int column, int newWidth) {
    if (sizing_)
        return;
    // The header knows one minimum for all sections; each column has its own.
    const int minimum = model_->MinimumWidth(column);
    if (newWidth < minimum) {
        horizontalHeader()->resizeSection(column, minimum);
        return;
    }
    userSized_ = true;
    if (column != LastShownColumn())
        StretchLastColumn();
}

void ResultListView::resizeEvent(QResizeEvent *event) {
    QTableView::resizeEvent(event);
    if (userSized_)
        StretchLastColumn();
    else
        FitColumns();
}

void ResultListView::FitColumns() {
    std::vector<int> shown;
    std::vector<int> preferred;
    std::vector<int> minimum;
    for (int column = 0; column < model_->columnCount(); ++column) {
        if (!model_->Shown(column))
            continue;
        shown.push_back(column);
        preferred.push_back(model_->Width(column));
        minimum.push_back(model_->MinimumWidth(column));
    }
    const std::vector<int> widths = FitColumnWidths(preferred, minimum, viewport()->width());
    const QScopedValueRollback<bool> guard(sizing_, true);
    for (std::size_t i = 0; i < shown.size(); ++i)
        horizontalHeader()->resizeSection(shown[i], widths[i]);
}

void ResultListView::StretchLastColumn() {
    QHeaderView *header = horizontalHeader();
    const int last = LastShownColumn();
    int others = 0;
    for (int column = 0; column < last; ++column)
        others += model_->Shown(column) ? header->sectionSize(column) : 0;
    const int width = std::max(model_->MinimumWidth(last), viewport()->width() - others);
    const QScopedValueRollback<bool> guard(sizing_, true);
    header->resizeSection(last, width);
}

void ResultListView::keyPressEvent(QKeyEvent *event) {
    // The space bar toggles the check mark of the selected row, whichever of its cells is current.
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        if (const auto row = list_.SelectedRow())
            row->SetChecked(!row->Checked());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

QModelIndex ResultListView::CheckBoxAt(const QPoint &position) const {
    const QModelIndex index = indexAt(position);
    if (!index.isValid() || !(model_->flags(index) & Qt::ItemIsUserCheckable))
        return {};
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return delegate_->CheckBoxRect(option, index).contains(position) ? index : QModelIndex();
}

bool ResultListView::PressCheckBox(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton)
        return false;
    const QModelIndex index = CheckBoxAt(event->position().toPoint());
    if (!index.isValid())
        return false;
    selectRow(index.row());
    pressedCheckBox_ = index;
    event->accept();
    return true;
}

void ResultListView::mousePressEvent(QMouseEvent *event) {
    if (!PressCheckBox(event))
        QTableView::mousePressEvent(event);
}

void ResultListView::mouseDoubleClickEvent(QMouseEvent *event) {
    // The second click of a double click is a click of its own on a check box.
    if (!PressCheckBox(event))
        QTableView::mouseDoubleClickEvent(event);
}

void ResultListView::mouseMoveEvent(QMouseEvent *event) {
    if (pressedCheckBox_.isValid()) {
        event->accept();
        return;
    }
    QTableView::mouseMoveEvent(event);
}

void ResultListView::mouseReleaseEvent(QMouseEvent *event) {
    if (!pressedCheckBox_.isValid() || event->button() != Qt::LeftButton) {
        QTableView::mouseReleaseEvent(event);
        return;
    }
    const QModelIndex pressed = std::exchange(pressedCheckBox_, QPersistentModelIndex());
    // Released away from the box it went down on: no toggle, as with any button.
    if (CheckBoxAt(event->position().toPoint()) == pressed) {
        const bool checked = model_->data(pressed, Qt::CheckStateRole).toInt() == Qt::Checked;
        model_->setData(pressed, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }
    event->accept();
}

void ResultListView::focusInEvent(QFocusEvent *event) {
    QTableView::focusInEvent(event);
    // The view makes the first cell current on focus; without a selection that only draws a
    // frame around a cell that no command acts on. The first arrow key selects the first row.
    if (!selectionModel()->hasSelection() && currentIndex().isValid()) {
        const QSignalBlocker blocker(selectionModel());
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        viewport()->update();
    }
}

void ResultListView::RightClicked(const QPoint &position) {
    const QModelIndex index = indexAt(position);
    if (index.isValid())
        selectRow(index.row());
    emit PopupRequested(viewport()->mapToGlobal(position));
}

void ResultListView::SelectionChanged() {
    const QModelIndexList rows = selectionModel()->selectedRows();
    list_.SetSelectedIndex(rows.isEmpty() ? -1 : rows.first().row());
}

void ResultListView::ShowListSelection() {
    HideUnshownColumns();
    const int selected = list_.SelectedIndex();
    const QSignalBlocker blocker(selectionModel());
    selectionModel()->clearSelection();
    if (selected < 0) {
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        viewport()->update();
        return;
    }
    selectionModel()->select(model_->index(selected, 0),
                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(model_->index(selected, 0), QItemSelectionModel::NoUpdate);
}

} // namespace ui
