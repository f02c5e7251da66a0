#include "codes/CodeListView.h"

#include "codes/CodeListAccessible.h"
#include "codes/CodeListModel.h"
#include "views/ByteGlyphs.h"
#include "views/FocusRing.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyledItemDelegate>

#include <algorithm>
#include <optional>

namespace {

// Every row is one line as wide as the column, its codes drawn straight from the chunk's bytes
// with glyphs resolved once (no text shaping per row and frame); a row longer than the column
// ends in "…".
class CodeRowDelegate final : public QStyledItemDelegate {
public:
    explicit CodeRowDelegate(const QHeaderView& header, QObject* parent)
        : QStyledItemDelegate(parent)
        , m_header(header)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {m_header.length(), option.fontMetrics.height() + 2};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        if (!m_glyphs || m_font != option.font) {
            m_font = option.font;
            m_glyphs.emplace(m_font);
        }
        const bool selected = option.state & QStyle::State_Selected;
        if (selected)
            painter->fillRect(option.rect, option.palette.color(QPalette::Highlight));
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));

        const QByteArray head = index.data(CodeListModel::kHeadBytesRole).toByteArray();
        const auto base = CodeBase(index.data(CodeListModel::kCodeBaseRole).toInt());
        const QByteArray codes = codeRowAscii(head, CodeListModel::kShownCodes, base);
        QRectF area = QRectF(option.rect).adjusted(2, 0, -2, 0);
        if (m_header.count() == 2) {
            const int timeWidth = m_header.sectionSize(0);
            painter->drawText(area.adjusted(0, 0, timeWidth - area.width(), 0),
                              Qt::AlignLeft | Qt::AlignVCenter,
                              index.data(CodeListModel::kTimeRole).toString());
            area.setLeft(area.left() + timeWidth);
        }
        const QPointF baseline(area.left(), area.top() +
                                                (area.height() - m_glyphs->lineHeight()) / 2 +
                                                m_glyphs->ascent());
        qint64 width = 0;
        for (const char c : codes)
            width += m_glyphs->advance(static_cast<unsigned char>(c));
        const bool fits = head.size() <= CodeListModel::kShownCodes &&
                          width <= qint64(area.width() * ByteGlyphs::kUnitsPerPixel);
        if (fits) {
            m_glyphs->draw(*painter, baseline, codes);
            return;
        }
        constexpr char kEllipsis = '\x85'; // "…" in the code page
        const qreal ellipsis = qreal(m_glyphs->advance(kEllipsis)) / ByteGlyphs::kUnitsPerPixel;
        m_glyphs->draw(*painter, baseline, codes, area.width() - ellipsis);
        m_glyphs->draw(*painter, QPointF(area.right() - ellipsis, baseline.y()),
                       QByteArrayView(&kEllipsis, 1));
    }

private:
    const QHeaderView& m_header;
    mutable QFont m_font;
    mutable std::optional<ByteGlyphs> m_glyphs;
};

} // namespace

CodeListView::CodeListView(QWidget* parent)
    : QAbstractItemView(parent)
    , m_header(new QHeaderView(Qt::Horizontal, this))
{
    auto* columns = new QStandardItemModel(0, 1, m_header);
    columns->setHorizontalHeaderLabels({QStringLiteral("ASCII")});
    m_header->setModel(columns);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_header->setSectionsClickable(false);
    m_header->setStretchLastSection(false);

    setItemDelegate(new CodeRowDelegate(*m_header, this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setAutoScroll(false);
    installCodeListAccessibility();
}

void CodeListView::setColumnWidth(int width)
{
    m_header->resizeSection(m_header->count() - 1, width);
    updateGeometries();
    viewport()->update();
}

void CodeListView::setTimeColumn(bool shown)
{
    auto* columns = static_cast<QStandardItemModel*>(m_header->model());
    if (shown == (columns->columnCount() == 2))
        return;
    const int codes = m_header->sectionSize(m_header->count() - 1);
    if (shown) {
        columns->insertColumn(0);
        columns->setHorizontalHeaderItem(0, new QStandardItem(QStringLiteral("Hora")));
        m_header->resizeSection(
            0, fontMetrics().horizontalAdvance(PaneTimes::widestLabel(PaneTimes::Mode::Relative) +
                                               QStringLiteral("  ")));
    } else {
        columns->removeColumn(0);
    }
    m_header->resizeSection(m_header->count() - 1, codes);
    updateGeometries();
    viewport()->update();
}

void CodeListView::setModel(QAbstractItemModel* model)
{
    QAbstractItemView::setModel(model);
    if (model) {
        // Only someone watching the newest rows keeps watching them as more arrive.
        connect(model, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
            m_followEnd = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
        });
    }
    updateGeometries();
}

void CodeListView::reset()
{
    QAbstractItemView::reset();
    // An emptied list follows the rows that arrive next.
    m_followEnd = true;
    updateGeometries();
    viewport()->update();
}

int CodeListView::rowHeight() const
{
    return fontMetrics().height() + 2;
}

int CodeListView::rowCount() const
{
    return model() ? model()->rowCount(rootIndex()) : 0;
}

int CodeListView::visibleRows() const
{
    return std::max(1, viewport()->height() / rowHeight());
}

int CodeListView::columnWidth() const
{
    return m_header->length();
}

QRect CodeListView::visualRect(const QModelIndex& index) const
{
    if (!index.isValid() || index.parent() != rootIndex())
        return {};
    const int top = (index.row() - verticalScrollBar()->value()) * rowHeight();
    return {-horizontalOffset(), top, columnWidth(), rowHeight()};
}

QModelIndex CodeListView::indexAt(const QPoint& point) const
{
    if (!model() || point.y() < 0 || point.x() + horizontalOffset() >= columnWidth())
        return {};
    const int row = verticalScrollBar()->value() + point.y() / rowHeight();
    return row < rowCount() ? model()->index(row, 0, rootIndex()) : QModelIndex();
}

void CodeListView::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (!index.isValid())
        return;
    QScrollBar* bar = verticalScrollBar();
    const int row = index.row();
    const int first = bar->value();
    const int rows = visibleRows();
    switch (hint) {
    case PositionAtTop:
        bar->setValue(row);
        break;
    case PositionAtBottom:
        bar->setValue(row - rows + 1);
        break;
    case PositionAtCenter:
        bar->setValue(row - rows / 2);
        break;
    case EnsureVisible:
        if (row < first)
            bar->setValue(row);
        else if (row >= first + rows)
            bar->setValue(row - rows + 1);
        break;
    }
}

QModelIndex CodeListView::moveCursor(CursorAction action, Qt::KeyboardModifiers)
{
    const int count = rowCount();
    if (count == 0)
        return {};
    // With no current row yet, a step down (as when Tab brings the focus in) finds the first.
    int row = currentIndex().isValid() ? currentIndex().row() : -1;
    switch (action) {
    case MoveUp:
    case MovePrevious:
        row -= 1;
        break;
    case MoveDown:
    case MoveNext:
        row += 1;
        break;
    case MovePageUp:
        row -= visibleRows();
        break;
    case MovePageDown:
        row += visibleRows();
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = count - 1;
        break;
    default:
        break;
    }
    return model()->index(std::clamp(row, 0, count - 1), 0, rootIndex());
}

int CodeListView::horizontalOffset() const
{
    return horizontalScrollBar()->value();
}

int CodeListView::verticalOffset() const
{
    return verticalScrollBar()->value() * rowHeight();
}

void CodeListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command)
{
    const QRect area = rect.normalized();
    const QModelIndex top = indexAt(QPoint(area.left(), area.top()));
    if (!top.isValid()) {
        selectionModel()->select(QItemSelection(), command);
        return;
    }
    QModelIndex bottom = indexAt(QPoint(area.left(), area.bottom()));
    if (!bottom.isValid())
        bottom = model()->index(rowCount() - 1, 0, rootIndex());
    selectionModel()->select(QItemSelection(top, bottom), command);
}

QRegion CodeListView::visualRegionForSelection(const QItemSelection& selection) const
{
    QRegion region;
    const int first = verticalScrollBar()->value();
    const int last = first + visibleRows();
    for (const QItemSelectionRange& range : selection) {
        const int from = std::max(range.top(), first);
        const int to = std::min(range.bottom(), last);
        if (from <= to) {
            const QRect top = visualRect(model()->index(from, 0, rootIndex()));
            region += QRect(top.left(), top.top(), top.width(), (to - from + 1) * rowHeight());
        }
    }
    return region;
}

void CodeListView::paintEvent(QPaintEvent* event)
{
    if (!model())
        return;
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const int first = verticalScrollBar()->value();
    const int last = std::min(rowCount(), first + visibleRows() + 1);
    const QModelIndex current = currentIndex();
    for (int row = first; row < last; ++row) {
        const QModelIndex index = model()->index(row, 0, rootIndex());
        option.rect = visualRect(index);
        if (!event->region().intersects(option.rect))
            continue;
        option.state = QStyle::State_Enabled;
        if (selectionModel()->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (index == current && hasFocus())
            option.state |= QStyle::State_HasFocus;
        itemDelegate()->paint(&painter, option, index);
    }
    if (hasFocus())
        drawFocusRing(painter, *viewport());
}

void CodeListView::updateGeometries()
{
    const int height = m_header->sizeHint().height();
    setViewportMargins(0, height, 0, 0);
    const QRect area = viewport()->geometry();
    m_header->setGeometry(area.left(), area.top() - height, area.width(), height);

    QScrollBar* vertical = verticalScrollBar();
    vertical->setSingleStep(1);
    vertical->setPageStep(visibleRows());
    vertical->setRange(0, std::max(0, rowCount() - visibleRows()));
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setSingleStep(std::max(1, rowHeight()));
    horizontal->setPageStep(viewport()->width());
    horizontal->setRange(0, std::max(0, columnWidth() - viewport()->width()));
    QAbstractItemView::updateGeometries();
}

void CodeListView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    updateGeometries();
    if (m_followEnd)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
}

void CodeListView::scrollContentsBy(int dx, int)
{
    m_header->setOffset(horizontalOffset());
    if (dx != 0)
        m_header->viewport()->update();
    viewport()->update();
}

void CodeListView::keyPressEvent(QKeyEvent* event)
{
    // Ctrl+C is the list's "Copiar" action (CodeListActions), the one way to copy: Qt's own
    // copy of the current row's shown text is not another.
    if (event == QKeySequence::Copy) {
        event->ignore();
        return;
    }
    QAbstractItemView::keyPressEvent(event);
}
