#include "platform/LogPane.h"

#include "platform/FocusRing.h"
#include "platform/LogPaneAccessible.h"
#include "platform/SingleByteCodec.h"

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

QString LogPane::text() const
{
    return textRange(0, m_store.size());
}

QString LogPane::textRange(qint64 start, qint64 end) const
{
    start = std::clamp<qint64>(start, 0, m_store.size());
    end = std::clamp<qint64>(end, start, m_store.size());
    return SingleByteCodec::toText(m_store.mid(start, end - start));
}

void LogPane::append(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    const qint64 position = m_store.size();
    m_store.append(bytes);
    if (m_wrapped == 0)
        followWidth(); // the first text may come before the pane was ever shown
    wrapNewBytes();
    m_publisher.request();
    if (QAccessible::isActive()) {
        QAccessibleTextInsertEvent event(this, int(std::min<qint64>(position, INT_MAX)),
                                         ByteGlyphs::shownText(SingleByteCodec::toText(bytes)));
        QAccessible::updateAccessibility(&event);
    }
}

void LogPane::clear()
{
    m_store.clear();
    m_anchor = m_caret = 0;
    rewrapAll();
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
    position = std::clamp<qint64>(position, 0, m_store.size());
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
    select(start, std::clamp<qint64>(start + length, start, m_store.size()));
    m_caretIntoView = true;
    m_publisher.request();
}

QString LogPane::selectedText() const
{
    return textRange(selStart(), selStart() + selLength());
}

void LogPane::selectAll()
{
    select(0, m_store.size());
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
    for (int b = 0; b < 256; ++b)
        m_wrapStep[b] =
            m_glyphs.advance(static_cast<unsigned char>(b)) | (b == ' ' ? 1 << kSpaceShift : 0);
}

void LogPane::rewrapAll()
{
    m_rowStarts.assign(1, 0);
    m_wrapped = 0;
    m_rowWidth = 0;
    m_spacesFrom = kNoSpace;
    m_previous = 0;
    wrapNewBytes();
}

int LogPane::widthOf(qint64 from, qint64 to) const
{
    const int* const advance = m_glyphs.advances().data();
    int width = 0;
    m_store.forEachSpan(from, to - from, [&](QByteArrayView span) {
        for (const char c : span)
            width += advance[static_cast<unsigned char>(c)];
    });
    return width;
}

namespace {

const unsigned char* findLineBreak(const unsigned char* from, const unsigned char* end)
{
    const auto* lf =
        static_cast<const unsigned char*>(std::memchr(from, kLF, std::size_t(end - from)));
    const auto* crEnd = lf ? lf : end;
    const auto* cr =
        static_cast<const unsigned char*>(std::memchr(from, kCR, std::size_t(crEnd - from)));
    return cr ? cr : crEnd;
}

} // namespace

void LogPane::wrapNewBytes()
{
    // The hot path of every append. Line breaks are found with memchr; between them, widths
    // are added eight bytes at a time (the same sums say whether a space went by), and only
    // where a row ends are bytes looked at one by one, and the row searched back for a space
    // to break after, if it has one. State lives in locals for the duration.
    const qint64 end = m_store.size();
    const int limit = m_wrapWidth;
    const int* const step = m_wrapStep.data();
    qint64 rowStart = m_rowStarts.back();
    qint64 spacesFrom = m_spacesFrom;
    int rowWidth = m_rowWidth;
    unsigned char previous = m_previous;
    const auto startRow = [&](qint64 at) {
        m_rowStarts.push_back(at);
        rowStart = at;
        spacesFrom = kNoSpace;
    };

    qint64 spanStart = m_wrapped;
    m_store.forEachSpan(spanStart, end - spanStart, [&](QByteArrayView span) {
        const auto* const first = reinterpret_cast<const unsigned char*>(span.data());
        const auto* const last = first + span.size();
        const auto positionOf = [&](const unsigned char* p) {
            return spanStart + (p - first);
        };
        const auto* p = first;
        while (p < last) {
            const auto* lineEnd = findLineBreak(p, last);
            // Drawn characters up to the break.
            while (p < lineEnd) {
                if (lineEnd - p >= 8) {
                    const int sum8 = step[p[0]] + step[p[1]] + step[p[2]] + step[p[3]] +
                                     step[p[4]] + step[p[5]] + step[p[6]] + step[p[7]];
                    if (rowWidth + (sum8 & kWidthMask) <= limit) {
                        rowWidth += sum8 & kWidthMask;
                        if (sum8 > kWidthMask && spacesFrom > positionOf(p))
                            spacesFrom = positionOf(p);
                        p += 8;
                        continue;
                    }
                }
                // The row ends within the next few bytes: walk up to the first that does not
                // fit, and end the row there.
                while (p < lineEnd && rowWidth + (step[*p] & kWidthMask) <= limit) {
                    if (*p == ' ' && spacesFrom > positionOf(p))
                        spacesFrom = positionOf(p);
                    rowWidth += step[*p] & kWidthMask;
                    ++p;
                }
                if (p == lineEnd)
                    break;
                const unsigned char byte = *p;
                const int width = step[byte] & kWidthMask;
                const qint64 position = positionOf(p);
                ++p;
                if (rowWidth == 0) {
                    rowWidth = width; // wider than the pane: it has a row of its own
                } else if (byte == ' ') {
                    // A space that does not fit ends the row where it stands.
                    startRow(position + 1);
                    rowWidth = 0;
                } else {
                    const qint64 space =
                        spacesFrom < position ? m_store.lastIndexOf(' ', spacesFrom, position) : -1;
                    const int wordWidth =
                        space >= rowStart ? widthOf(space + 1, position) + width : INT_MAX;
                    if (wordWidth <= limit) {
                        // Word wrap: the word that does not fit moves to the next row.
                        startRow(space + 1);
                        rowWidth = wordWidth;
                    } else {
                        // No space to break after, or a word too long for any row (moved, it
                        // would run past the edge there): the row ends at this character.
                        startRow(position);
                        rowWidth = width;
                    }
                }
            }
            if (p > first)
                previous = p[-1];
            if (p == last)
                break;
            // The line break itself. The LF of a CR LF ends the row the CR already ended.
            const qint64 position = positionOf(p);
            if (*p == kLF && previous == kCR && rowStart == position)
                m_rowStarts.back() = rowStart = position + 1;
            else
                startRow(position + 1);
            rowWidth = 0;
            previous = *p;
            ++p;
        }
        spanStart += span.size();
    });
    m_wrapped = end;
    m_rowWidth = rowWidth;
    m_spacesFrom = spacesFrom;
    m_previous = previous;
}

qint64 LogPane::rowOf(qint64 position) const
{
    const auto after = std::upper_bound(m_rowStarts.begin(), m_rowStarts.end(), position);
    return std::max<qint64>(0, (after - m_rowStarts.begin()) - 1);
}

qint64 LogPane::rowEnd(qint64 row) const
{
    return row + 1 < rowCount() ? m_rowStarts[std::size_t(row + 1)] : m_store.size();
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
    position = std::clamp<qint64>(position, 0, m_store.size());
    const qint64 row = rowOf(position);
    const int x = kMargin + widthOf(m_rowStarts[std::size_t(row)], position) / kUnitsPerPixel;
    const int advance = position < m_store.size() ? m_glyphs.advance(m_store.at(position)) : 0;
    const int y = int(row - firstVisibleRow()) * m_glyphs.lineHeight();
    return QRect(x, y, std::max(1, advance / kUnitsPerPixel), m_glyphs.lineHeight());
}

qint64 LogPane::positionAt(QPoint point) const
{
    const qint64 row = std::clamp<qint64>(
        firstVisibleRow() + std::max(0, point.y()) / m_glyphs.lineHeight(), 0, rowCount() - 1);
    const qint64 start = m_rowStarts[std::size_t(row)];
    qint64 end = rowEnd(row);
    while (end > start && isLineBreak(m_store.at(end - 1)))
        --end;
    const int target = (point.x() - kMargin) * kUnitsPerPixel;
    int x = 0;
    for (qint64 p = start; p < end; ++p) {
        const int advance = m_glyphs.advance(m_store.at(p));
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
        const qint64 start = m_rowStarts[std::size_t(row)];
        const qint64 end = rowEnd(row);
        const QByteArray bytes = m_store.mid(start, end - start);
        const int top = int(row - first) * lineHeight;
        const QPointF baseline(kMargin, top + m_glyphs.ascent());
        painter.setPen(pal.color(QPalette::Text));
        m_glyphs.draw(painter, baseline, bytes);

        const qint64 from = std::max(selFrom, start);
        const qint64 to = std::min(selTo, end);
        if (from < to) {
            const qreal left = kMargin + qreal(widthOf(start, from)) / kUnitsPerPixel;
            qreal right = kMargin + qreal(widthOf(start, to)) / kUnitsPerPixel;
            if (to == end && isLineBreak(m_store.at(end - 1)))
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
    const int units = std::max(1, textWidth) * kUnitsPerPixel;
    if (units != m_wrapWidth) {
        m_wrapWidth = units;
        rewrapAll();
    }
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
        const unsigned char byte = m_store.at(p);
        return byte != ' ' && byte != '\t' && !isLineBreak(byte);
    };
    qint64 from = position;
    qint64 to = position;
    while (from > 0 && isWordByte(from - 1))
        --from;
    while (to < m_store.size() && isWordByte(to))
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
