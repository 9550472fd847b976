#include "ui/ResultTableModel.h"

#include "ui/QtText.h"

#include "base/FieldKeys.h"
#include "registry/IdnaName.h"

#include <algorithm>
#include <array>

namespace ui {
namespace {

struct ColumnWidth {
    int width;
    int minimumWidth;
};

// The first five columns' widths.
constexpr std::array<ColumnWidth, 5> kWidths = {{
    {165, 110},
    {62, 62},
    {70, 65},
    {95, 90},
    {100, 95},
}};
// A column added at the right of them gives up most of its room first, so that the first five
// columns keep theirs at the window's smallest size.
constexpr ColumnWidth kAddedWidth = {90, 40};

const ColumnWidth &WidthOf(int column) {
    return column >= 0 && column < int(kWidths.size()) ? kWidths[static_cast<std::size_t>(column)]
                                                       : kAddedWidth;
}

} // namespace

ResultTableModel::ResultTableModel(results::ResultList &list, QObject *parent)
    : QAbstractTableModel(parent), list_(list), shownRows_(list.Count()) {
    list_.SetObserver(this);
}

ResultTableModel::~ResultTableModel() {
    list_.SetObserver(nullptr);
}

QString ResultTableModel::Caption(int column) const {
    return list_.GetColumns().Has(column) ? ToQString(list_.GetColumns().At(column).caption)
                                          : QString();
}

bool ResultTableModel::Shown(int column) const {
    return list_.GetColumns().Has(column) &&
           list_.GetColumns().At(column).key != base::field::kDisplay;
}

int ResultTableModel::Width(int column) const {
    return list_.GetColumns().Has(column) ? WidthOf(column).width : 0;
}

int ResultTableModel::MinimumWidth(int column) const {
    return list_.GetColumns().Has(column) ? WidthOf(column).minimumWidth : 0;
}

int ResultTableModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int ResultTableModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : list_.ColumnCount();
}

const results::ResultRow *ResultTableModel::RowAt(int position) const {
    if (position < 0 || position >= list_.Count())
        return nullptr;
    return list_.Row(position).get();
}

QVariant ResultTableModel::data(const QModelIndex &index, int role) const {
    const results::ResultRow *row = index.isValid() ? RowAt(index.row()) : nullptr;
    if (!row)
        return {};
    if (role == Qt::DisplayRole && index.column() == results::ResultList::DomainName)
        return ToQString(registry::ToUnicodeName(row->Caption()));
    if (role == Qt::DisplayRole) {
        const std::optional<std::string_view> cell = row->Cell(index.column());
        return cell ? ToQString(*cell) : QString();
    }
    if (role == Qt::CheckStateRole && index.column() == results::ResultList::DomainName)
        return row->Checked() ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool ResultTableModel::setData(const QModelIndex &index, const QVariant &value, int role) {
    if (role != Qt::CheckStateRole || index.column() != results::ResultList::DomainName)
        return false;
    if (!RowAt(index.row()))
        return false;
    // The row tells the list, and the list tells this model, which announces the change.
    list_.Row(index.row())->SetChecked(value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags ResultTableModel::flags(const QModelIndex &index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == results::ResultList::DomainName)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant ResultTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    // The tip shows a caption that a narrow column cuts off.
    const bool caption = role == Qt::DisplayRole || role == Qt::ToolTipRole;
    if (orientation != Qt::Horizontal || !caption || !list_.GetColumns().Has(section))
        return {};
    return Caption(section);
}

void ResultTableModel::ListReset() {
    beginResetModel();
    shownRows_ = list_.Count();
    endResetModel();
    emit ListWasReset();
}

void ResultTableModel::RowsInserted(int first, int count) {
    if (count <= 0)
        return;
    if (first != shownRows_) {
        // Rows the views were not told of yet stand before the new ones: start over.
        ListReset();
        return;
    }
    beginInsertRows(QModelIndex(), first, first + count - 1);
    shownRows_ += count;
    endInsertRows();
}

void ResultTableModel::CellsChanged(int firstRow, int lastRow) {
    if (firstRow < 0 || lastRow < firstRow || firstRow >= shownRows_)
        return;
    lastRow = std::min(lastRow, shownRows_ - 1);
    emit dataChanged(index(firstRow, 0), index(lastRow, list_.ColumnCount() - 1));
}

} // namespace ui
