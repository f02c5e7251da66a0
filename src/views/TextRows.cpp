#include "views/TextRows.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr unsigned char kCR = '\r';
constexpr unsigned char kLF = '\n';

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

void TextRows::setAdvances(const std::array<int, 256>& advances)
{
    for (int b = 0; b < 256; ++b)
        m_step[std::size_t(b)] = advances[std::size_t(b)] | (b == ' ' ? 1 << kSpaceShift : 0);
}

bool TextRows::setWidth(int units)
{
    units = std::max(1, units);
    if (units == m_width)
        return false;
    m_width = units;
    return true;
}

void TextRows::clear()
{
    m_groupStart.assign(1, 0);
    m_lengths.clear();
    m_longRows.clear();
    m_lastStart = 0;
    m_wrapped = 0;
    m_rowWidth = 0;
    m_spacesFrom = kNoSpace;
    m_previous = 0;
    m_row.clear();
}

qint64 TextRows::lengthOf(qint64 row) const
{
    const quint16 length = m_lengths[std::size_t(row)];
    return length == kLongRow ? m_longRows.at(row) : length;
}

void TextRows::setLength(qint64 row, qint64 length)
{
    if (length >= kLongRow) {
        m_lengths[std::size_t(row)] = kLongRow;
        m_longRows[row] = length;
    } else {
        if (m_lengths[std::size_t(row)] == kLongRow)
            m_longRows.erase(row);
        m_lengths[std::size_t(row)] = quint16(length);
    }
}

void TextRows::startRow(qint64 at)
{
    m_lengths.push_back(0);
    setLength(qint64(m_lengths.size()) - 1, at - m_lastStart);
    m_lastStart = at;
    if ((m_lengths.size() & ((1u << kGroupShift) - 1)) == 0)
        m_groupStart.push_back(at);
}

void TextRows::moveLastStart(qint64 at)
{
    const qint64 last = qint64(m_lengths.size());
    setLength(last - 1, lengthOf(last - 1) + (at - m_lastStart));
    m_lastStart = at;
    if ((last & ((1 << kGroupShift) - 1)) == 0)
        m_groupStart.back() = at;
}

qint64 TextRows::rowStart(qint64 row) const
{
    row = std::clamp<qint64>(row, 0, rowCount() - 1);
    if (row == rowCount() - 1)
        return m_lastStart;
    qint64 at = m_groupStart[std::size_t(row >> kGroupShift)];
    for (qint64 r = row & ~qint64((1 << kGroupShift) - 1); r < row; ++r)
        at += lengthOf(r);
    return at;
}

qint64 TextRows::rowEnd(qint64 row) const
{
    return row + 1 < rowCount() ? rowStart(row) + lengthOf(row) : m_wrapped;
}

qint64 TextRows::rowOf(qint64 position) const
{
    if (position >= m_lastStart)
        return rowCount() - 1;
    const auto after = std::upper_bound(m_groupStart.begin(), m_groupStart.end(), position);
    const qint64 group = std::max<qint64>(0, (after - m_groupStart.begin()) - 1);
    qint64 row = group << kGroupShift;
    qint64 at = m_groupStart[std::size_t(group)];
    while (row + 1 < rowCount() && at + lengthOf(row) <= position) {
        at += lengthOf(row);
        ++row;
    }
    return row;
}

qint64 TextRows::indexBytes() const
{
    return qint64(m_groupStart.capacity() * sizeof(qint64) + m_lengths.size() * sizeof(quint16) +
                  m_longRows.size() * 32 + std::size_t(m_row.capacity()));
}

void TextRows::append(QByteArrayView bytes)
{
    // The hot path of every append. Line breaks are found with memchr; between them, widths
    // are added eight bytes at a time (the same sums say whether a space went by), and only
    // where a row ends are bytes looked at one by one, and the row searched back for a space
    // to break after, if it has one. State lives in locals for the duration.
    if (bytes.isEmpty())
        return;
    const int limit = m_width;
    const int* const step = m_step.data();
    const qint64 spanStart = m_wrapped;
    const auto* const first = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const last = first + bytes.size();
    qint64 rowStart = m_lastStart;
    qint64 spacesFrom = m_spacesFrom;
    int rowWidth = m_rowWidth;
    unsigned char previous = m_previous;

    // Bytes of the current row: those before this append are in m_row.
    const qint64 rowBufferStart = m_lastStart;
    const auto at = [&](qint64 q) {
        return q < spanStart ? static_cast<unsigned char>(m_row[q - rowBufferStart])
                             : first[q - spanStart];
    };
    const auto startRow = [&](qint64 start) {
        this->startRow(start);
        rowStart = start;
        spacesFrom = kNoSpace;
    };
    const auto positionOf = [&](const unsigned char* p) {
        return spanStart + (p - first);
    };

    const auto* p = first;
    while (p < last) {
        const auto* lineEnd = findLineBreak(p, last);
        // Drawn characters up to the break.
        while (p < lineEnd) {
            if (lineEnd - p >= 8) {
                const int sum8 = step[p[0]] + step[p[1]] + step[p[2]] + step[p[3]] + step[p[4]] +
                                 step[p[5]] + step[p[6]] + step[p[7]];
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
                qint64 space = -1;
                for (qint64 q = position - 1; spacesFrom < position && q >= spacesFrom; --q) {
                    if (at(q) == ' ') {
                        space = q;
                        break;
                    }
                }
                int wordWidth = INT_MAX;
                if (space >= rowStart) {
                    wordWidth = width;
                    for (qint64 q = space + 1; q < position; ++q)
                        wordWidth += step[at(q)] & kWidthMask;
                }
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
        if (*p == kLF && previous == kCR && rowStart == position) {
            moveLastStart(position + 1);
            rowStart = position + 1;
        } else {
            startRow(position + 1);
        }
        rowWidth = 0;
        previous = *p;
        ++p;
    }

    // Keep the bytes of the row being filled (a row is short: it fits the pane).
    const qint64 end = spanStart + bytes.size();
    if (rowStart >= spanStart) {
        m_row.resize(end - rowStart);
        if (end > rowStart)
            std::memcpy(m_row.data(), bytes.data() + (rowStart - spanStart),
                        std::size_t(end - rowStart));
    } else {
        m_row.remove(0, rowStart - rowBufferStart);
        m_row.append(bytes);
    }
    m_wrapped = end;
    m_rowWidth = rowWidth;
    m_spacesFrom = spacesFrom;
    m_previous = previous;
}
