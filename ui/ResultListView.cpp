#include "ui/ResultListView.h"

#include "results/ResultList.h"
#include "ui/ResultTableModel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QSignalBlocker>

namespace ui {

ResultListView::ResultListView(results::ResultList &list, QWidget *parent)
    : QTableView(parent), list_(list), model_(new ResultTableModel(list, this)) {
    setModel(model_);
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
            [this](int column, int, int newWidth) { KeepMinimumWidth(column, newWidth); });
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
    for (int column = 0; column < model_->columnCount(); ++column)
        header->resizeSection(column, model_->Width(column));
}

void ResultListView::KeepMinimumWidth(int column, int newWidth) {
    // The header knows one minimum for all sections; each column has its own.
    const int minimum = model_->MinimumWidth(column);
    if (newWidth < minimum)
        horizontalHeader()->resizeSection(column, minimum);
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
    const int selected = list_.SelectedIndex();
    const QSignalBlocker blocker(selectionModel());
    selectionModel()->clearSelection();
    if (selected < 0)
        return;
    selectionModel()->select(model_->index(selected, 0),
                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selectionModel()->setCurrentIndex(model_->index(selected, 0), QItemSelectionModel::NoUpdate);
}

} // namespace ui
