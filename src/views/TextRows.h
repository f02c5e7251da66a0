#pragma once

#include <QByteArrayView>

#include <array>
#include <deque>
#include <functional>
#include <limits>
#include <vector>

// Rows are found within stretches of 1 << QUORVANE_ROW_STRETCH_SHIFT rows. The fuzzing build
// makes stretches tiny, so that short inputs already cross many of them.
#ifndef QUORVANE_ROW_STRETCH_SHIFT
#define QUORVANE_ROW_STRETCH_SHIFT 6
#endif

// Which bytes of a pane's text form which row at a width: the pane's row model, without a
// widget, so that it can be tested and fuzzed alone.
//
// Rules: CR, LF and CR LF end a row; a row takes characters while they fit; a space that
// does not fit ends its row; otherwise the word that does not fit moves to the next row if it
// fits there, else the row ends before the character; a character wider than the row has a
// row of its own. Widths are the glyph advances of the 256 byte values (ByteGlyphs units).
//
// Bytes are wrapped as they are appended. The index is small whatever the rows: where every
// 64th row starts (8 bytes per 64 rows, an eighth of a byte per row), and the starts of the
// rows since the last of those. Where a row starts depends only on the bytes from the start
// of an earlier row, so a row inside a stretch is found by wrapping the stretch again, read
// back through the reader; the few stretches asked for last are kept (a pane asks only for
// the rows in view).
//
// What it deliberately does not do: keep a copy of the text (but the row being filled), or
// read anything while appending.
class TextRows {
public:
    // Calls visit for the text's bytes [from, to) in order, in pieces, until it returns false.
    using Reader =
        std::function<void(qint64 from, qint64 to, const std::function<bool(QByteArrayView)>&)>;

    static constexpr int kStretchShift = QUORVANE_ROW_STRETCH_SHIFT;
    static constexpr qint64 kStretchRows = qint64(1) << kStretchShift;

    // Where the bytes wrapped so far can be read back; needed to find rows before the newest
    // stretch.
    void setReader(Reader reader);

    void setAdvances(const std::array<int, 256>& advances);
    const std::array<int, 256>& advances() const { return m_advances; }
    // The width rows wrap to, in glyph units; returns whether it changed (then the caller
    // wraps the text again from clear()).
    bool setWidth(int units);
    int width() const { return m_width; }

    // No text: one empty row.
    void clear();
    void append(QByteArrayView bytes);

    // Bytes wrapped so far.
    qint64 size() const { return m_wrap.wrapped; }
    qint64 rowCount() const
    {
        return (qint64(m_checkpoints.size()) - 1) * kStretchRows + qint64(m_tail.size());
    }
    qint64 rowStart(qint64 row) const;
    // Where the row ends: the next row's start, or the end of the text.
    qint64 rowEnd(qint64 row) const;
    // The row holding the byte at position (the last row for the end of the text).
    qint64 rowOf(qint64 position) const;
    // What the index costs in memory.
    qint64 indexBytes() const;

private:
    // What wrapping adds per byte: its width in the low bits, and 1 << kSpaceShift for a space,
    // so that a sum of several tells at once whether a space was among them.
    static constexpr int kSpaceShift = 24;
    static constexpr int kWidthMask = (1 << kSpaceShift) - 1;
    static constexpr qint64 kNoSpace = std::numeric_limits<qint64>::max();

    // The state of wrapping at the end of what it has taken: the same for the index and for
    // a stretch wrapped again. At a row start it is only the start and the byte before it.
    struct Wrap {
        qint64 rowStart = 0;
        qint64 wrapped = 0;
        int rowWidth = 0;
        // No space lies in the current row before this position.
        qint64 spacesFrom = kNoSpace;
        unsigned char previous = 0;
        // The bytes of the row being filled, from rowStart to wrapped.
        std::vector<char> row;
    };
    template <typename Rows> void wrap(Wrap& state, QByteArrayView bytes, Rows& rows) const;

    // Row starts of one stretch, wrapped again from its first row.
    struct Stretch {
        qint64 index = -1;
        std::vector<qint64> starts;
        quint64 used = 0;
    };
    const std::vector<qint64>& stretch(qint64 index) const;
    void forget();

    // Called by wrap() for the index.
    void startRow(qint64 at);
    void moveLastStart(qint64 at);
    friend struct IndexRows;

    std::array<int, 256> m_advances{};
    std::array<int, 256> m_step{};
    int m_width = 1;
    Reader m_reader;

    // Start of rows 0, 64, 128, ... A deque: it grows without ever holding twice what it needs.
    std::deque<qint64> m_checkpoints{0};
    // Starts of the rows from the last checkpoint on (at most a stretch).
    std::vector<qint64> m_tail{0};
    Wrap m_wrap;

    static constexpr std::size_t kKeptStretches = 4;
    mutable std::array<Stretch, kKeptStretches> m_kept;
    mutable quint64 m_clock = 0;
};
