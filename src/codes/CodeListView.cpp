#include "codes/CodeListView.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyledItemDelegate>

namespace {

// Every row is one line as wide as the column; a row longer than that is cut with "…".
class ColumnRowDelegate final : public QStyledItemDelegate {
public:
    explicit ColumnRowDelegate(const QHeaderView& header, QObject* parent)
        : QStyledItemDelegate(parent)
        , m_header(header)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {m_header.sectionSize(0), option.fontMetrics.height() + 2};
    }

private:
    const QHeaderView& m_header;
};

} // namespace

CodeListView::CodeListView(QWidget* parent)
    : QListView(parent)
    , m_header(new QHeaderView(Qt::Horizontal, this))
{
    auto* columns = new QStandardItemModel(0, 1, m_header);
    columns->setHorizontalHeaderLabels({QStringLiteral("ASCII")});
    m_header->setModel(columns);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_header->setSectionsClickable(false);
    m_header->setStretchLastSection(false);

    setItemDelegate(new ColumnRowDelegate(*m_header, this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, m_header, &QHeaderView::setOffset);
}

void CodeListView::setColumnWidth(int width)
{
    m_header->resizeSection(0, width);
    scheduleDelayedItemsLayout();
}

void CodeListView::setModel(QAbstractItemModel* model)
{
    QListView::setModel(model);
    if (model) {
        // Someone watching the newest rows keeps watching them as more arrive.
        connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
            m_followEnd = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
        });
    }
}

void CodeListView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    QListView::rowsInserted(parent, start, end);
    if (m_followEnd)
        scrollToBottom();
}

void CodeListView::updateGeometries()
{
    const int height = m_header->sizeHint().height();
    setViewportMargins(0, height, 0, 0);
    const QRect area = viewport()->geometry();
    m_header->setGeometry(area.left(), area.top() - height, area.width(), height);
    QListView::updateGeometries();
}

void CodeListView::keyPressEvent(QKeyEvent* event)
{
    if (event == QKeySequence::Copy) {
        const QModelIndex current = currentIndex();
        if (current.isValid())
            QApplication::clipboard()->setText(current.data(Qt::EditRole).toString());
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}
