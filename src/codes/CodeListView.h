#pragma once

#include <QAbstractItemView>

class QHeaderView;

// The code list's face: rows under one column header, "ASCII" (and "Hora" before it when
// times are shown), with one row selectable at a
// time. Copying is its actions' (CodeListActions): Ctrl+C copies the selected rows' whole
// text.
//
// Every row has the height of one line, so a row's place is arithmetic: nothing is laid out,
// and adding rows costs the same with ten rows as with ten million (QListView lays out every
// row again on each insertion). Someone watching the newest rows keeps seeing them as rows
// arrive; someone who scrolled away is left where they are.
class CodeListView : public QAbstractItemView {
    Q_OBJECT

public:
    explicit CodeListView(QWidget* parent = nullptr);

    QHeaderView* header() const { return m_header; }
    // The codes' column width.
    void setColumnWidth(int width);
    // A "Hora" column before the codes' (the rows' kTimeRole), or none.
    void setTimeColumn(bool shown);
    void setModel(QAbstractItemModel* model) override;

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    void reset() override;

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex&) const override { return false; }
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void paintEvent(QPaintEvent* event) override;
    void updateGeometries() override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int rowHeight() const;
    int rowCount() const;
    int visibleRows() const;
    int columnWidth() const;

    QHeaderView* m_header;
    bool m_followEnd = true;
};
