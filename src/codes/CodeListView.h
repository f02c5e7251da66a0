#pragma once

#include <QListView>

class QHeaderView;

// The code list's face: a list of rows under one column header, "ASCII", with one row
// selectable at a time. Rows all have the height of one line, so millions of them lay out
// and scroll at once. Ctrl+C copies the selected row's whole text.
class CodeListView : public QListView {
    Q_OBJECT

public:
    explicit CodeListView(QWidget* parent = nullptr);

    QHeaderView* header() const { return m_header; }
    void setColumnWidth(int width);
    void setModel(QAbstractItemModel* model) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void updateGeometries() override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;

private:
    QHeaderView* m_header;
    bool m_followEnd = true;
};
