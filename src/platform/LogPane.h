#pragma once

#include "platform/AppendOnlyBytes.h"
#include "platform/ByteGlyphs.h"
#include "platform/FrameCoalescer.h"

#include <QAbstractScrollArea>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>
#include <deque>
#include <limits>

// A link's transcript: a multi-line, wrapped, read-only text box with a vertical scroll bar,
// whose text the operator can select and copy but not edit.
//
// It is a view over an append-only store of the transcript's bytes (one byte per character of
// the single-byte code page). Appending costs in proportion to what is appended, whatever the
// transcript's size and whether or not the text has line breaks: the new bytes are wrapped
// into rows as they arrive, and only the rows in view are ever drawn. Scroll bar and repaint
// follow at most once per frame, however many appends came in it.
//
// What it deliberately does not do: let the operator type into it, or lay out anything that
// is not in view. Line breaks are CR, LF or CR LF; other control characters are shown as
// their control-picture symbol so that they are visible (see ByteGlyphs).
class LogPane : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit LogPane(QWidget* parent = nullptr);

    // The pane's Text, exactly as written.
    QString text() const;
    QByteArray bytes() const { return m_store.mid(0, m_store.size()); }
    qint64 length() const { return m_store.size(); }
    QString textRange(qint64 start, qint64 end) const;

    // Text = old Text + bytes. The caret and the selection stay where they are.
    void append(QByteArrayView bytes);
    // Text = "": the caret goes back to the start.
    void clear();

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
    qint64 rowCount() const { return qint64(m_rowStarts.size()); }
    qint64 rowOf(qint64 position) const;
    qint64 firstVisibleRow() const;
    QRect characterRect(qint64 position) const;
    qint64 positionAt(QPoint viewportPoint) const;
    void scrollToPosition(qint64 position);

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
    void wrapNewBytes();
    int widthOf(qint64 from, qint64 to) const;
    qint64 rowEnd(qint64 row) const;
    int visibleRows() const;
    void select(qint64 anchor, qint64 caret);
    void publish();

    AppendOnlyBytes m_store;

    // Row i of the wrapped text starts at m_rowStarts[i]; there is always at least one row.
    std::deque<qint64> m_rowStarts{0};
    ByteGlyphs m_glyphs{font()};
    // What wrapping adds per byte: its width in the low bits, and 1 << kSpaceShift for a space,
    // so that a sum of several tells at once whether a space was among them.
    static constexpr int kSpaceShift = 24;
    static constexpr int kWidthMask = (1 << kSpaceShift) - 1;
    std::array<int, 256> m_wrapStep{};
    int m_wrapWidth = 1;

    // Where wrapping stopped: the bytes before m_wrapped are in rows.
    qint64 m_wrapped = 0;
    int m_rowWidth = 0;
    // No space lies in the current row before this position.
    static constexpr qint64 kNoSpace = std::numeric_limits<qint64>::max();
    qint64 m_spacesFrom = kNoSpace;
    unsigned char m_previous = 0;

    qint64 m_anchor = 0;
    qint64 m_caret = 0;
    bool m_caretIntoView = false;
    bool m_dragging = false;
    FrameCoalescer m_publisher{[this] { publish(); }, this};
};

// The shared way handlers write a line: Text = old Text + prefix + payload + "\r\n", then the
// caret (SelStart) goes to the end so that the newest line is in view.
void AppendLog(LogPane& pane, QStringView prefix, QByteArrayView payload);
void AppendLog(LogPane& pane, QStringView prefix, QStringView payload = {});
