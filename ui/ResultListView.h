#pragma once

#include <QTableView>

#include <vector>

namespace results {
class ResultList;
}

namespace ui {

class ResultTableModel;
class ResultCellDelegate;

// Column widths that fill available pixels: the preferred widths, the last column taking what is
// left over; when they do not fit, each column gives up width in proportion to what it has above
// its minimum. Only when even the minimums do not fit is the sum larger than available.
std::vector<int> FitColumnWidths(const std::vector<int> &preferred, const std::vector<int> &minimum,
                                 int available);

// The result list on screen: report view with a check box in front of each row, grid lines,
// whole-row single selection, fixed captions and no sort indicator. The list itself keeps the
// selected row, so the selection follows its row across sorts. A right click selects the row
// under the pointer before it asks for the popup menu.
//
// The columns fill the visible width of the list, whatever its size and whether the vertical
// scroll bar shows; once the user has dragged a column's edge only the last column stretches,
// so a horizontal scroll bar shows only when the user has made the columns wider than the list.
class ResultListView : public QTableView {
    Q_OBJECT

public:
    explicit ResultListView(results::ResultList &list, QWidget *parent = nullptr);

    ResultTableModel *Model() const { return model_; }
    // Whether the user has dragged a column's edge since the list was made.
    bool UserSizedColumns() const { return userSized_; }

signals:
    // A click on the header of column.
    void ColumnClicked(int column);
    // A right click in the list, at a position on the screen.
    void PopupRequested(const QPoint &globalPosition);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    // A click on a row's check box selects the row and toggles its mark, once for every click,
    // also for the second click of a double click.
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    // Focus that arrives while no row is selected marks no cell as current either.
    void focusInEvent(QFocusEvent *event) override;
    // Receives the resizes of the viewport, also those from a scroll bar appearing.
    void resizeEvent(QResizeEvent *event) override;

private:
    void SetUpColumns();
    void ColumnResized(int column, int newWidth);
    void FitColumns();
    // The cell whose check box is at position in the viewport, or an invalid index.
    QModelIndex CheckBoxAt(const QPoint &position) const;
    bool PressCheckBox(QMouseEvent *event);
    void StretchLastColumn();
    // The rightmost column the view shows, which takes the room left over.
    int LastShownColumn() const;
    // Hides the columns the model does not show; the list's columns may change at a reset.
    void HideUnshownColumns();
    void RightClicked(const QPoint &position);
    void SelectionChanged();
    void ShowListSelection();

    results::ResultList &list_;
    ResultTableModel *model_;
    ResultCellDelegate *delegate_;
    // The check box a left button went down on; the release over it toggles the mark.
    QPersistentModelIndex pressedCheckBox_;
    bool userSized_ = false;
    // Set while the view itself sizes columns, so that only the user's drags count as such.
    bool sizing_ = false;
};

} // namespace ui
