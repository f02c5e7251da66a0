#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <deque>
#include <limits>
#include <unordered_map>
#include <vector>

// Which bytes of a pane's text form which row at a width: the pane's row model, without a
// widget, so that it can be tested and fuzzed alone.
//
// Rules: CR, LF and CR LF end a row; a row takes characters while they fit; a space that
// does not fit ends its row; otherwise the word that does not fit moves to the next row if it
// fits there, else the row ends before the character; a character wider than the row has a
// row of its own. Widths are the glyph advances of the 256 byte values (ByteGlyphs units).
//
// Bytes are wrapped as they are appended, and never read back: the model keeps the bytes of
// the row being filled, nothing else. Where rows start is kept compactly: one 64-bit start
// per 64 rows and a 16-bit length per row.
class TextRows {
public:
    void setAdvances(const std::array<int, 256>& advances);
    // The width rows wrap to, in glyph units; returns whether it changed (then the caller
    // wraps the text again from clear()).
    bool setWidth(int units);
    int width() const { return m_width; }

    // No text: one empty row.
    void clear();
    void append(QByteArrayView bytes);

    // Bytes wrapped so far.
    qint64 size() const { return m_wrapped; }
    qint64 rowCount() const { return qint64(m_lengths.size()) + 1; }
    qint64 rowStart(qint64 row) const;
    // Where the row ends: the next row's start, or the end of the text.
    qint64 rowEnd(qint64 row) const;
    // The row holding the byte at position (the last row for the end of the text).
    qint64 rowOf(qint64 position) const;
    // What the index costs in memory.
    qint64 indexBytes() const;

private:
    static constexpr int kGroupShift = 6;
    static constexpr quint16 kLongRow = 0xFFFF;
    // What wrapping adds per byte: its width in the low bits, and 1 << kSpaceShift for a space,
    // so that a sum of several tells at once whether a space was among them.
    static constexpr int kSpaceShift = 24;
    static constexpr int kWidthMask = (1 << kSpaceShift) - 1;
    static constexpr qint64 kNoSpace = std::numeric_limits<qint64>::max();

    qint64 lengthOf(qint64 row) const;
    void setLength(qint64 row, qint64 length);
    void startRow(qint64 at);
    void moveLastStart(qint64 at);

    std::array<int, 256> m_step{};
    int m_width = 1;

    // Start of rows 0, 64, 128, ...; the length of every row but the last.
    std::vector<qint64> m_groupStart{0};
    // A deque: it grows without ever holding twice what it needs.
    std::deque<quint16> m_lengths;
    std::unordered_map<qint64, qint64> m_longRows;
    qint64 m_lastStart = 0;

    // Where wrapping stopped, and its state there.
    qint64 m_wrapped = 0;
    int m_rowWidth = 0;
    // No space lies in the current row before this position.
    qint64 m_spacesFrom = kNoSpace;
    unsigned char m_previous = 0;
    // The bytes of the row being filled, from m_lastStart to m_wrapped.
    QByteArray m_row;
};
