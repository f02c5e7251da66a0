#include "views/LogPane.h"

#include "base/SingleByteCodec.h"
#include "views/FocusRing.h"
#include "views/LogPaneAccessible.h"
#include "views/RowsRewrap.h"
#include "views/SentRanges.h"
#include "views/ShownText.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

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
    m_rows.setReader(std::bind_front(&LogPane::readRecord, this));
    m_rows.setAdvances(m_glyphs.advances());
    m_times.attach(*m_record, m_pane);
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, &LogPane::barAction);
    updateMetrics();
    countMemory();
}

LogPane::~LogPane()
{
    m_rewrap.reset();
    // The window's record may have gone first: the window's members go before its children.
    if (m_countedIn)
        m_countedIn->uncountViewMemory(this);
}

void LogPane::countMemory()
{
    if (m_countedIn)
        m_countedIn->uncountViewMemory(this);
    m_countedIn = m_record;
    m_record->countViewMemory(
        this, [this] { return m_rows.indexBytes() + (m_rewrap ? m_rewrap->indexBytes() : 0); });
}

void LogPane::readRecord(qint64 from, qint64 to,
                         const std::function<bool(QByteArrayView)>& visit) const
{
    m_record->forEachPaneSpan(m_pane, from, to - from, visit);
}

void LogPane::attach(SessionRecord& record, Link link)
{
    m_rewrap.reset();
    m_record = &record;
    m_pane = link;
    m_ownRecord.reset();
    m_times.attach(record, link);
    countMemory();
    m_anchor = m_caret = 0;
    m_scroll = RowScroll();
    // The rows shown so far are another record's: none of them may stay meanwhile.
    rewrapAll(Rewrap::AtOnce);
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
    write(bytes, &SessionRecord::appendToPane);
}

void LogPane::appendReceived(QByteArrayView chunk)
{
    write(chunk, &SessionRecord::appendReceived);
}

void LogPane::write(QByteArrayView bytes, void (SessionRecord::*store)(Link, QByteArrayView))
{
    const qint64 position = length();
    if (position == 0 && !bytes.isEmpty())
        followWidth(); // the first text may come before the pane was ever shown
    // Even an empty write goes to the record: it may be an empty chunk's.
    (m_record->*store)(m_pane, bytes);
    if (bytes.isEmpty())
        return;
    m_rows.append(bytes);
    if (m_unannounced < 0)
        m_unannounced = position;
    m_publisher.request();
}

void LogPane::clear()
{
    const qint64 removed = length();
    m_record->clearPane(m_pane);
    m_times.forget();
    m_anchor = m_caret = 0;
    m_unannounced = -1;
    m_scroll = RowScroll();
    rewrapAll(Rewrap::AtOnce);
    emit cleared();
    m_publisher.request();
    if (QAccessible::isActive() && removed > 0) {
        // Told as Qt's own text views tell a removal, in blanks of its length (but bounded:
        // the screen reader is to hear that the text went, not a gigabyte of blanks).
        QAccessibleTextRemoveEvent event(
            this, 0, QString(qsizetype(std::min(removed, kAnnouncedBytes)), u' '));
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
        QApplication::clipboard()->setText(
            m_times.shown() ? m_times.timedText(selStart(), selStart() + selLength())
                            : selectedText());
}

void LogPane::setTimes(PaneTimes::Mode mode)
{
    m_times.setMode(mode);
    const QString widest = PaneTimes::widestLabel(mode);
    m_timesWidth =
        widest.isEmpty() ? 0 : fontMetrics().horizontalAdvance(widest + QStringLiteral("  "));
    followWidth();
    viewport()->update();
}

void LogPane::select(qint64 anchor, qint64 caret)
{
    const bool changed = anchor != m_anchor || caret != m_caret;
    m_anchor = anchor;
    m_caret = caret;
    if (!changed)
        return;
    viewport()->update();
    m_selectionUnannounced = true;
    if (QAccessible::isActive())
        m_publisher.request();
}

// What assistive technology hears, once per frame however many appends and caret moves it
// held: the newest line (at most kAnnouncedBytes of it), and where the caret and the
// selection are.
void LogPane::announce()
{
    const qint64 from = std::exchange(m_unannounced, -1);
    const bool selection = std::exchange(m_selectionUnannounced, false);
    if (!QAccessible::isActive())
        return;
    if (from >= 0) {
        const qint64 end = length();
        qint64 start = std::clamp(end - kAnnouncedBytes, from, end);
        const QByteArray tail = m_record->paneBytes(m_pane, start, end - start);
        qsizetype lineEnd = tail.size();
        while (lineEnd > 0 && isLineBreak(static_cast<unsigned char>(tail[lineEnd - 1])))
            --lineEnd;
        qsizetype lineStart = lineEnd;
        while (lineStart > 0 && !isLineBreak(static_cast<unsigned char>(tail[lineStart - 1])))
            --lineStart;
        start += lineStart;
        // With times shown, the line's time is heard first, as in its margin.
        const QString time = m_times.shown() ? m_times.label(start) : QString();
        QAccessibleTextInsertEvent event(this, int(std::min<qint64>(start, INT_MAX)),
                                         (time.isEmpty() ? QString() : time + u'\t') +
                                             ShownText::of(QByteArrayView(tail).sliced(lineStart)));
        QAccessible::updateAccessibility(&event);
    }
    if (selection) {
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
}

void LogPane::rewrapAll(Rewrap how)
{
    m_rewrap.reset();
    TextRows rows;
    rows.setAdvances(m_glyphs.advances());
    rows.setWidth(m_wrapWidth);
    if (how == Rewrap::AtOnce || length() <= kRewrapAtOnceBytes) {
        readRecord(0, length(), [&rows](QByteArrayView span) {
            rows.append(span);
            return true;
        });
        adopt(std::move(rows));
        return;
    }
    m_rewrap = std::make_unique<RowsRewrap>(*m_record, m_pane, std::move(rows), this);
    connect(m_rewrap.get(), &RowsRewrap::ready, this, [this] {
        adopt(m_rewrap->takeRows());
        m_rewrap.release()->deleteLater(); // it is telling us
    });
}

void LogPane::adopt(TextRows rows)
{
    const bool following = m_scroll.atEnd();
    const qint64 topByte = following ? 0 : m_rows.rowStart(m_scroll.top());
    m_rows = std::move(rows);
    m_rows.setReader(std::bind_front(&LogPane::readRecord, this));
    m_scroll.grow(std::max<qint64>(0, rowCount() - visibleRows()));
    if (!following)
        m_scroll.setTop(m_rows.rowOf(topByte));
    m_publisher.request();
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

void LogPane::publish()
{
    // Someone watching the newest text keeps watching it as more arrives.
    m_scroll.grow(std::max<qint64>(0, rowCount() - visibleRows()));
    if (m_caretIntoView) {
        m_caretIntoView = false;
        scrollToPosition(m_caret);
    }
    showScroll();
    viewport()->update();
    announce();
}

QRect LogPane::characterRect(qint64 position) const
{
    position = std::clamp<qint64>(position, 0, length());
    const qint64 row = rowOf(position);
    const int x = textLeft() + widthOf(m_rows.rowStart(row), position) / kUnitsPerPixel;
    const int advance = position < length() ? m_glyphs.advance(byteAt(position)) : 0;
    // A row far out of view is placed far out of view, without overflowing.
    const int y = int(std::clamp<qint64>((row - firstVisibleRow()) * m_glyphs.lineHeight(),
                                         INT_MIN / 2, INT_MAX / 2));
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
    const int target = (point.x() - textLeft()) * kUnitsPerPixel;
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
        const QPointF baseline(textLeft(), top + m_glyphs.ascent());
        if (m_timesWidth > 0) {
            painter.setPen(pal.color(QPalette::PlaceholderText));
            painter.drawText(QPointF(kMargin, baseline.y()), m_times.rowLabel(m_rows, row));
        }
        painter.setPen(pal.color(QPalette::Text));
        m_glyphs.draw(painter, baseline, bytes);
        if (m_sent)
            paintSent(painter, start, end, bytes, top);

        const qint64 from = std::max(selFrom, start);
        const qint64 to = std::min(selTo, end);
        if (from < to) {
            const qreal left = textLeft() + qreal(widthOf(start, from)) / kUnitsPerPixel;
            qreal right = textLeft() + qreal(widthOf(start, to)) / kUnitsPerPixel;
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
    const int textWidth = width() - 2 * frameWidth() - verticalScrollBar()->sizeHint().width() -
                          2 * kMargin - m_timesWidth;
    const int units = std::max(1, textWidth) * kUnitsPerPixel;
    if (units != m_wrapWidth) {
        m_wrapWidth = units;
        rewrapAll(Rewrap::InBackgroundIfLarge);
    }
}

void LogPane::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateMetrics();
        rewrapAll(Rewrap::InBackgroundIfLarge);
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

// --- operator input: select and copy, never edit ---------------------------------------

// Ctrl+A and Ctrl+C are the pane's actions' (ViewActions), the one way to select all and copy.
void LogPane::keyPressEvent(QKeyEvent* event)
{
    if (event == QKeySequence::MoveToStartOfDocument) {
        scrollTo(0);
    } else if (event == QKeySequence::MoveToEndOfDocument) {
        scrollTo(m_scroll.lastTop());
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
    if (point.y() < 0)
        scrollTo(m_scroll.top() - 1);
    else if (point.y() > viewport()->height())
        scrollTo(m_scroll.top() + 1);
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
    pane.appendReceived(payload);
    pane.append("\r\n");
    pane.setSelStart(pane.length());
}

void AppendLog(LogPane& pane, QStringView prefix, QStringView payload)
{
    pane.append(SingleByteCodec::toBytes(prefix));
    pane.append(SingleByteCodec::toBytes(payload));
    pane.append("\r\n");
    pane.setSelStart(pane.length());
}
