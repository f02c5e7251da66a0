#include "views/LogPane.h"

#include "base/SingleByteCodec.h"
#include "views/FocusRing.h"
#include "views/LogPaneAccessible.h"
#include "views/SentRanges.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

constexpr unsigned char kCR = '\r';
constexpr unsigned char kLF = '\n';

bool isLineBreak(unsigned char byte)
{
    return byte == kCR || byte == kLF;
}

} // namespace

LogPane::LogPane(QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_ownRecord(std::make_unique<SessionRecord>())
    , m_record(m_ownRecord.get())
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setBackgroundRole(QPalette::Base);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setCursor(Qt::IBeamCursor);
    installLogPaneAccessibility();
    updateMetrics();
}

LogPane::~LogPane() = default;

void LogPane::attach(SessionRecord& record, Pane pane)
{
    m_record = &record;
    m_pane = pane;
    m_ownRecord.reset();
    m_anchor = m_caret = 0;
    rewrapAll();
    m_publisher.request();
}

QString LogPane::text() const
{
    return textRange(0, length());
}

QString LogPane::textRange(qint64 start, qint64 end) const
{
    start = std::clamp<qint64>(start, 0, length());
    end = std::clamp<qint64>(end, start, length());
    return SingleByteCodec::toText(m_record->paneBytes(m_pane, start, end - start));
}

void LogPane::append(QByteArrayView bytes)
{
    const qint64 position = length();
    if (position == 0 && !bytes.isEmpty())
        followWidth(); // the first text may come before the pane was ever shown
    // Even an empty write goes to the record: it may be an empty chunk's.
    m_record->appendToPane(m_pane, bytes);
    if (bytes.isEmpty())
        return;
    m_rows.append(bytes);
    m_publisher.request();
    if (QAccessible::isActive()) {
        QAccessibleTextInsertEvent event(this, int(std::min<qint64>(position, INT_MAX)),
                                         ByteGlyphs::shownText(SingleByteCodec::toText(bytes)));
        QAccessible::updateAccessibility(&event);
    }
}

void LogPane::clear()
{
    m_record->clearPane(m_pane);
    m_anchor = m_caret = 0;
    rewrapAll();
    emit cleared();
    m_publisher.request();
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::TextUpdated);
        QAccessible::updateAccessibility(&event);
    }
}

qint64 LogPane::selStart() const
{
    return std::min(m_anchor, m_caret);
}

void LogPane::setSelStart(qint64 position)
{
    position = std::clamp<qint64>(position, 0, length());
    select(position, position);
    m_caretIntoView = true;
    m_publisher.request();
}

qint64 LogPane::selLength() const
{
    return std::abs(m_caret - m_anchor);
}

void LogPane::setSelLength(qint64 length)
{
    const qint64 start = selStart();
    select(start, std::clamp<qint64>(start + length, start, this->length()));
    m_caretIntoView = true;
    m_publisher.request();
}

QString LogPane::selectedText() const
{
    return textRange(selStart(), selStart() + selLength());
}

void LogPane::setSentRanges(const SentRanges* sent)
{
    m_sent = sent;
    viewport()->update();
}

void LogPane::selectAll()
{
    select(0, length());
}

void LogPane::copy() const
{
    if (selLength() > 0)
        QApplication::clipboard()->setText(selectedText());
}

void LogPane::select(qint64 anchor, qint64 caret)
{
    const bool changed = anchor != m_anchor || caret != m_caret;
    m_anchor = anchor;
    m_caret = caret;
    if (!changed)
        return;
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleTextSelectionEvent event(
            this, int(std::min<qint64>(selStart(), INT_MAX)),
            int(std::min<qint64>(selStart() + selLength(), INT_MAX)));
        event.setCursorPosition(int(std::min<qint64>(m_caret, INT_MAX)));
        QAccessible::updateAccessibility(&event);
    }
}

// --- wrapping ---------------------------------------------------------------------------

void LogPane::updateMetrics()
{
    m_glyphs = ByteGlyphs(font());
    m_rows.setAdvances(m_glyphs.advances());
}

void LogPane::rewrapAll()
{
    m_rows.clear();
    m_record->forEachPaneSpan(m_pane, 0, length(), [this](QByteArrayView span) {
        m_rows.append(span);
        return true;
    });
}

int LogPane::widthOf(qint64 from, qint64 to) const
{
    const int* const advance = m_glyphs.advances().data();
    int width = 0;
    m_record->forEachPaneSpan(m_pane, from, to - from, [&](QByteArrayView span) {
        for (const char c : span)
            width += advance[static_cast<unsigned char>(c)];
        return true;
    });
    return width;
}

// --- view ------------------------------------------------------------------------------

int LogPane::visibleRows() const
{
    return std::max(1, viewport()->height() / m_glyphs.lineHeight());
}

qint64 LogPane::firstVisibleRow() const
{
    return verticalScrollBar()->value();
}

void LogPane::publish()
{
    QScrollBar* bar = verticalScrollBar();
    const bool wasAtEnd = bar->value() >= bar->maximum();
    const qint64 lastTop = std::max<qint64>(0, rowCount() - visibleRows());
    bar->setPageStep(visibleRows());
    bar->setSingleStep(1);
    bar->setRange(0, int(std::min<qint64>(lastTop, INT_MAX)));
    if (m_caretIntoView) {
        m_caretIntoView = false;
        scrollToPosition(m_caret);
    } else if (wasAtEnd) {
        // Someone watching the newest text keeps watching it as more arrives.
        bar->setValue(bar->maximum());
    }
    viewport()->update();
}

void LogPane::scrollToPosition(qint64 position)
{
    QScrollBar* bar = verticalScrollBar();
    const qint64 row = rowOf(position);
    if (row < bar->value())
        bar->setValue(int(std::min<qint64>(row, INT_MAX)));
    else if (row >= bar->value() + visibleRows())
        bar->setValue(int(std::min<qint64>(row - visibleRows() + 1, INT_MAX)));
}

QRect LogPane::characterRect(qint64 position) const
{
    position = std::clamp<qint64>(position, 0, length());
    const qint64 row = rowOf(position);
    const int x = kMargin + widthOf(m_rows.rowStart(row), position) / kUnitsPerPixel;
    const int advance = position < length() ? m_glyphs.advance(byteAt(position)) : 0;
    const int y = int(row - firstVisibleRow()) * m_glyphs.lineHeight();
    return QRect(x, y, std::max(1, advance / kUnitsPerPixel), m_glyphs.lineHeight());
}

qint64 LogPane::positionAt(QPoint point) const
{
    const qint64 row = std::clamp<qint64>(
        firstVisibleRow() + std::max(0, point.y()) / m_glyphs.lineHeight(), 0, rowCount() - 1);
    const qint64 start = m_rows.rowStart(row);
    const QByteArray bytes = m_record->paneBytes(m_pane, start, m_rows.rowEnd(row) - start);
    qint64 end = start + bytes.size();
    while (end > start && isLineBreak(static_cast<unsigned char>(bytes[end - 1 - start])))
        --end;
    const int target = (point.x() - kMargin) * kUnitsPerPixel;
    int x = 0;
    for (qint64 p = start; p < end; ++p) {
        const int advance = m_glyphs.advance(static_cast<unsigned char>(bytes[p - start]));
        if (x + advance / 2 >= target)
            return p;
        x += advance;
    }
    return end;
}

void LogPane::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const QPalette& pal = palette();
    const int lineHeight = m_glyphs.lineHeight();
    const qint64 first = firstVisibleRow();
    const qint64 last = std::min(rowCount(), first + visibleRows() + 1);
    const qint64 selFrom = selStart();
    const qint64 selTo = selFrom + selLength();
    for (qint64 row = first; row < last; ++row) {
        const qint64 start = m_rows.rowStart(row);
        const qint64 end = m_rows.rowEnd(row);
        const QByteArray bytes = m_record->paneBytes(m_pane, start, end - start);
        const int top = int(row - first) * lineHeight;
        const QPointF baseline(kMargin, top + m_glyphs.ascent());
        painter.setPen(pal.color(QPalette::Text));
        m_glyphs.draw(painter, baseline, bytes);
        if (m_sent)
            paintSent(painter, start, end, bytes, top);

        const qint64 from = std::max(selFrom, start);
        const qint64 to = std::min(selTo, end);
        if (from < to) {
            const qreal left = kMargin + qreal(widthOf(start, from)) / kUnitsPerPixel;
            qreal right = kMargin + qreal(widthOf(start, to)) / kUnitsPerPixel;
            if (to == end && isLineBreak(static_cast<unsigned char>(bytes.back())))
                right += lineHeight / 3.0; // a selected line break shows as a little room
            const QRectF band(left, top, right - left, lineHeight);
            painter.fillRect(band, pal.color(QPalette::Highlight));
            painter.save();
            painter.setClipRect(band);
            painter.setPen(pal.color(QPalette::HighlightedText));
            m_glyphs.draw(painter, baseline, bytes);
            painter.restore();
        }
    }
    if (hasFocus())
        drawFocusRing(painter, *viewport());
}

void LogPane::paintSent(QPainter& painter, qint64 start, qint64 end, const QByteArray& bytes,
                        int top)
{
    const QPointF baseline(kMargin, top + m_glyphs.ascent());
    for (const auto& [from, to] : m_sent->within(start, end)) {
        const qreal left = kMargin + qreal(widthOf(start, from)) / kUnitsPerPixel;
        const qreal right = kMargin + qreal(widthOf(start, to)) / kUnitsPerPixel;
        const QRectF band(left, top, right - left, m_glyphs.lineHeight());
        painter.save();
        painter.setClipRect(band);
        painter.fillRect(band, palette().color(QPalette::Base));
        painter.setPen(palette().color(QPalette::Link));
        m_glyphs.draw(painter, baseline, bytes);
        painter.restore();
    }
}

void LogPane::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    followWidth();
    publish();
}

void LogPane::followWidth()
{
    // From the pane's own width, which is right even before it is first shown (its viewport
    // is laid out only then): the text area less the frame, the scroll bar and the margins.
    const int textWidth =
        width() - 2 * frameWidth() - verticalScrollBar()->sizeHint().width() - 2 * kMargin;
    if (m_rows.setWidth(std::max(1, textWidth) * kUnitsPerPixel))
        rewrapAll();
}

void LogPane::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateMetrics();
        rewrapAll();
        m_publisher.request();
    }
}

// The focus ring is drawn on the viewport, which a focus change would not repaint by itself.
void LogPane::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void LogPane::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void LogPane::scrollContentsBy(int, int)
{
    viewport()->update();
}

// --- operator input: select and copy, never edit ---------------------------------------

void LogPane::keyPressEvent(QKeyEvent* event)
{
    QScrollBar* bar = verticalScrollBar();
    if (event == QKeySequence::SelectAll) {
        selectAll();
    } else if (event == QKeySequence::Copy) {
        copy();
    } else if (event == QKeySequence::MoveToStartOfDocument) {
        bar->setValue(bar->minimum());
    } else if (event == QKeySequence::MoveToEndOfDocument) {
        bar->setValue(bar->maximum());
    } else {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void LogPane::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const qint64 position = positionAt(event->position().toPoint());
    if (event->modifiers() & Qt::ShiftModifier)
        select(m_anchor, position);
    else
        select(position, position);
    m_dragging = true;
}

void LogPane::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton)) {
        m_dragging = false;
        return;
    }
    const QPoint point = event->position().toPoint();
    QScrollBar* bar = verticalScrollBar();
    if (point.y() < 0)
        bar->setValue(bar->value() - 1);
    else if (point.y() > viewport()->height())
        bar->setValue(bar->value() + 1);
    select(m_anchor, positionAt(point));
}

void LogPane::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const qint64 position = positionAt(event->position().toPoint());
    const auto isWordByte = [this](qint64 p) {
        const unsigned char byte = byteAt(p);
        return byte != ' ' && byte != '\t' && !isLineBreak(byte);
    };
    qint64 from = position;
    qint64 to = position;
    while (from > 0 && isWordByte(from - 1))
        --from;
    while (to < length() && isWordByte(to))
        ++to;
    select(from, to);
}

// --- AppendLog -------------------------------------------------------------------------

void AppendLog(LogPane& pane, QStringView prefix, QByteArrayView payload)
{
    pane.append(SingleByteCodec::toBytes(prefix));
    pane.append(payload);
    pane.append("\r\n");
    pane.setSelStart(pane.length());
}

void AppendLog(LogPane& pane, QStringView prefix, QStringView payload)
{
    AppendLog(pane, prefix, SingleByteCodec::toBytes(payload));
}
