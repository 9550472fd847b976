#pragma once

#include <QTableView>

namespace results {
class ResultList;
}

namespace ui {

class ResultTableModel;

// The result list on screen: report view with a check box in front of each row, grid lines,
// whole-row single selection, fixed captions and no sort indicator. The list itself keeps the
// selected row, so the selection follows its row across sorts. A right click selects the row
// under the pointer before it asks for the popup menu.
class ResultListView : public QTableView {
    Q_OBJECT

public:
    explicit ResultListView(results::ResultList &list, QWidget *parent = nullptr);

    ResultTableModel *Model() const { return model_; }

signals:
    // A click on the header of column.
    void ColumnClicked(int column);
    // A right click in the list, at a position on the screen.
    void PopupRequested(const QPoint &globalPosition);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void SetUpColumns();
    void KeepMinimumWidth(int column, int newWidth);
    void RightClicked(const QPoint &position);
    void SelectionChanged();
    void ShowListSelection();

    results::ResultList &list_;
    ResultTableModel *model_;
};

} // namespace ui
