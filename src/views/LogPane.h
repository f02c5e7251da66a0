#pragma once

#include "record/SessionRecord.h"
#include "views/ByteGlyphs.h"
#include "views/FrameCoalescer.h"
#include "views/TextRows.h"

#include <QAbstractScrollArea>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <memory>

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
// What it deliberately does not do: let the operator type into it, or lay out anything that
// is not in view. Line breaks are CR, LF or CR LF; other control characters are shown as
// their abbreviation in a small box so that they are visible (see ByteGlyphs).
class LogPane : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit LogPane(QWidget* parent = nullptr);
    ~LogPane() override;

    // Shows, and writes to, one pane of a record from now on.
    void attach(SessionRecord& record, Pane pane);
    SessionRecord& record() const { return *m_record; }
    Pane pane() const { return m_pane; }

    // The pane's Text, exactly as written.
    QString text() const;
    QByteArray bytes() const { return m_record->paneBytes(m_pane, 0, length()); }
    qint64 length() const { return m_record->paneSize(m_pane); }
    QString textRange(qint64 start, qint64 end) const;

    // Text = old Text + bytes. The caret and the selection stay where they are.
    void append(QByteArrayView bytes);
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
    void copy() const;

    // Geometry of the wrapped text, for hit tests, accessibility and tests.
    qint64 rowCount() const { return m_rows.rowCount(); }
    qint64 rowOf(qint64 position) const { return m_rows.rowOf(position); }
    const TextRows& rows() const { return m_rows; }
    qint64 firstVisibleRow() const;
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
    void scrollContentsBy(int dx, int dy) override;

private:
    static constexpr int kUnitsPerPixel = ByteGlyphs::kUnitsPerPixel;
    static constexpr int kMargin = 2;

    void updateMetrics();
    void followWidth();
    void rewrapAll();
    int widthOf(qint64 from, qint64 to) const;
    unsigned char byteAt(qint64 position) const { return m_record->paneByte(m_pane, position); }
    int visibleRows() const;
    void select(qint64 anchor, qint64 caret);
    void publish();
    // Draws again, in the sent colour, the sent bytes of the row [start, end).
    void paintSent(QPainter& painter, qint64 start, qint64 end, const QByteArray& bytes, int top);

    std::unique_ptr<SessionRecord> m_ownRecord;
    SessionRecord* m_record;
    Pane m_pane = Pane::Server;

    ByteGlyphs m_glyphs{font()};
    TextRows m_rows;

    qint64 m_anchor = 0;
    qint64 m_caret = 0;
    bool m_caretIntoView = false;
    bool m_dragging = false;
    const SentRanges* m_sent = nullptr;
    FrameCoalescer m_publisher{[this] { publish(); }, this};
};

// The shared way handlers write a line: Text = old Text + prefix + payload + "\r\n", then the
// caret (SelStart) goes to the end so that the newest line is in view.
void AppendLog(LogPane& pane, QStringView prefix, QByteArrayView payload);
void AppendLog(LogPane& pane, QStringView prefix, QStringView payload = {});
