#pragma once

#include "results/ResultList.h"

#include <QAbstractTableModel>

namespace ui {

// The result list as Qt's views see it: a thin adapter that maps the list's rows and cells to
// rows, columns and roles and passes check-mark changes back. It holds no row data of its own;
// only the row count the views were last told of, so that every change reaches them in the
// order Qt expects.
class ResultTableModel : public QAbstractTableModel, private results::ResultListObserver {
    Q_OBJECT

public:
    explicit ResultTableModel(results::ResultList &list, QObject *parent = nullptr);
    ~ResultTableModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Whether the view shows the column: the display name's is hidden, since the domain name's
    // column already shows each name as people read it (Unicode for "xn--" names).
    bool Shown(int column) const;
    // Column captions, widths and minimum widths, in column order.
    QString Caption(int column) const;
    int Width(int column) const;
    int MinimumWidth(int column) const;

    results::ResultList &List() { return list_; }

signals:
    // After a change that may have moved rows: the view puts its selection back from the list.
    void ListWasReset();

private:
    void ListReset() override;
    void RowsInserted(int first, int count) override;
    void CellsChanged(int firstRow, int lastRow) override;
    const results::ResultRow *RowAt(int position) const;

    results::ResultList &list_;
    int shownRows_ = 0;
};

} // namespace ui
