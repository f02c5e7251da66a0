#pragma once

#include "record/SessionRecord.h"
#include "views/ByteGlyphs.h"
#include "views/FrameCoalescer.h"
#include "views/PaneTimes.h"
#include "views/RowScroll.h"
#include "views/TextRows.h"

#include <QAbstractScrollArea>
#include <QByteArrayView>
#include <QPointer>
#include <QString>
#include <QStringView>

#include <functional>
#include <memory>

class RowsRewrap;
class SentRanges;

// A link's transcript: a multi-line, wrapped, read-only text box with a vertical scroll bar,
// whose text the operator can select and copy but not edit.
//
// It is a view over its pane's bytes in the session record (one byte per character of the
// single-byte code page), with a row model (TextRows) saying which bytes form which row.
// Appending costs in proportion to what is appended, whatever the transcript's size and
// whether or not the text has line breaks: the new bytes are wrapped into rows as they
// arrive, and only the rows in view are ever read back and drawn. Scroll bar and repaint
// follow at most once per frame, however many appends came in it. A pane made on its own
// keeps a record of its own; the window's panes share the window's.
//
// A new width or font wraps the whole text again: a large pane does it in the background
// (RowsRewrap), showing its former rows meanwhile, and keeps its place when the new rows take
// over. Rows are counted in 64 bits; the scroll bar maps them proportionally past its range
// (RowScroll), so the pane follows the newest text at any length.
//
// What it deliberately does not do: let the operator type into it, or lay out anything that
// is not in view. Line breaks are CR, LF or CR LF; other control characters are shown as
// their abbreviation in a small box so that they are visible (see ByteGlyphs).
class LogPane : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit LogPane(QWidget* parent = nullptr);
    ~LogPane() override;

    // Shows, and writes to, the pane of one link in a record from now on.
    void attach(SessionRecord& record, Link link);
    SessionRecord& record() const { return *m_record; }
    Link link() const { return m_pane; }

    // The pane's Text, exactly as written.
    QString text() const;
    QByteArray bytes() const { return m_record->paneBytes(m_pane, 0, length()); }
    QByteArray bytes(qint64 start, qint64 end) const
    {
        return m_record->paneBytes(m_pane, start, end - start);
    }
    qint64 length() const { return m_record->paneSize(m_pane); }
    QString textRange(qint64 start, qint64 end) const;

    // Text = old Text + bytes. The caret and the selection stay where they are.
    void append(QByteArrayView bytes);
    // The same for the chunk of the newest code row, which the record then keeps once, here.
    void appendReceived(QByteArrayView chunk);
    // Text = "": the caret goes back to the start.
    void clear();

    // Which of the pane's bytes were sent rather than received (a local echo): drawn in the
    // palette's link colour. Whoever marks them keeps the ranges, and forgets them when the
    // pane is cleared.
    void setSentRanges(const SentRanges* sent);
    const SentRanges* sentRanges() const { return m_sent; }

    // SelStart: setting it puts the caret there with nothing selected and scrolls it into view.
    qint64 selStart() const;
    void setSelStart(qint64 position);
    // SelLength: setting it selects that many characters from SelStart on.
    qint64 selLength() const;
    void setSelLength(qint64 length);
    QString selectedText() const;

    void selectAll();
    // Copies the selection; with times shown, each line with its time and a tab before it.
    void copy() const;

    // "Mostrar hora" / "Hora relativa": a margin left of the rows shows when each line's
    // first received byte arrived (PaneTimes). Off at first.
    void setTimes(PaneTimes::Mode mode);
    const PaneTimes& times() const { return m_times; }
    QString rowTime(qint64 row) const { return m_times.rowLabel(m_rows, row); }

    // Geometry of the wrapped text, for hit tests, accessibility and tests.
    qint64 rowCount() const { return m_rows.rowCount(); }
    qint64 rowOf(qint64 position) const { return m_rows.rowOf(position); }
    const TextRows& rows() const { return m_rows; }
    qint64 firstVisibleRow() const { return m_scroll.top(); }
    // The rows shown are still those of a former width or font, while the new ones are made.
    bool rewrapping() const { return m_rewrap != nullptr; }
    QRect characterRect(qint64 position) const;
    qint64 positionAt(QPoint viewportPoint) const;
    void scrollToPosition(qint64 position);

signals:
    // "Limpiar": positions start again from 0.
    void cleared();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    static constexpr int kUnitsPerPixel = ByteGlyphs::kUnitsPerPixel;
    static constexpr int kMargin = 2;
    // The text's left edge: past the times' margin when they are shown.
    int textLeft() const { return kMargin + m_timesWidth; }
    // What a screen reader is given of new text at most: the newest line, not a megabyte.
    static constexpr qint64 kAnnouncedBytes = 256;
    // A pane this small is wrapped again at once: it takes a few milliseconds.
    static constexpr qint64 kRewrapAtOnceBytes = 2 << 20;

    // The row index counts with the record's memory.
    void countMemory();
    void write(QByteArrayView bytes, void (SessionRecord::*store)(Link, QByteArrayView));
    void updateMetrics();
    void followWidth();
    // A pane over kRewrapAtOnceBytes wraps again in the background, showing its former rows
    // meanwhile, unless those rows are no longer its text's.
    enum class Rewrap { AtOnce, InBackgroundIfLarge };
    void rewrapAll(Rewrap how);
    // Shows rows wrapped anew, keeping the byte at the top in view (or the end followed).
    void adopt(TextRows rows);
    void readRecord(qint64 from, qint64 to, const std::function<bool(QByteArrayView)>& visit) const;
    int widthOf(qint64 from, qint64 to) const;
    unsigned char byteAt(qint64 position) const { return m_record->paneByte(m_pane, position); }
    int visibleRows() const;
    void select(qint64 anchor, qint64 caret);
    void publish();
    void announce();
    // The scroll bar shows m_scroll.
    void showScroll();
    void scrollTo(qint64 top);
    void barAction(int action);
    // Draws again, in the sent colour, the sent bytes of the row [start, end).
    void paintSent(QPainter& painter, qint64 start, qint64 end, const QByteArray& bytes, int top);

    std::unique_ptr<SessionRecord> m_ownRecord;
    SessionRecord* m_record;
    // The record the row index is counted in, while it lasts.
    QPointer<SessionRecord> m_countedIn;
    // The record's pane this one is: its link's.
    Link m_pane = Link::Server;

    ByteGlyphs m_glyphs{font()};
    PaneTimes m_times;
    int m_timesWidth = 0;
    TextRows m_rows;
    // The width new rows are wrapped to; the rows shown keep theirs until new ones are made.
    int m_wrapWidth = 1;
    std::unique_ptr<RowsRewrap> m_rewrap;
    RowScroll m_scroll;
    bool m_showingScroll = false;

    qint64 m_anchor = 0;
    qint64 m_caret = 0;
    bool m_caretIntoView = false;
    // Not yet told to assistive technology: new text from this position (-1: none), and the
    // caret or the selection having moved.
    qint64 m_unannounced = -1;
    bool m_selectionUnannounced = false;
    bool m_dragging = false;
    const SentRanges* m_sent = nullptr;
    FrameCoalescer m_publisher{[this] { publish(); }, this};
};

// The shared way handlers write a line: Text = old Text + prefix + payload + "\r\n", then the
// caret (SelStart) goes to the end so that the newest line is in view. A payload of bytes is a
// received chunk, the newest code row's (appendReceived); a payload of text is the window's own.
void AppendLog(LogPane& pane, QStringView prefix, QByteArrayView payload);
void AppendLog(LogPane& pane, QStringView prefix, QStringView payload = {});
