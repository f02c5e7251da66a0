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

// Where wrap() reports row starts when the index takes them.
struct IndexRows {
    TextRows& rows;
    void startRow(qint64 at) { rows.startRow(at); }
    void moveLastStart(qint64 at) { rows.moveLastStart(at); }
};

namespace {

// Where wrap() reports row starts when a stretch is wrapped again.
struct StretchRows {
    std::vector<qint64>& starts;
    void startRow(qint64 at) { starts.push_back(at); }
    void moveLastStart(qint64 at) { starts.back() = at; }
};

} // namespace

template <typename Rows> void TextRows::wrap(Wrap& state, QByteArrayView bytes, Rows& rows) const
{
    // The hot path of every append. Line breaks are found with memchr; between them, widths
    // are added eight bytes at a time (the same sums say whether a space went by), and only
    // where a row ends are bytes looked at one by one, and the row searched back for a space
    // to break after, if it has one. State lives in locals for the duration.
    if (bytes.isEmpty())
        return;
    const int limit = m_width;
    const int* const step = m_step.data();
    const qint64 spanStart = state.wrapped;
    const auto* const first = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const last = first + bytes.size();
    qint64 rowStart = state.rowStart;
    qint64 spacesFrom = state.spacesFrom;
    int rowWidth = state.rowWidth;
    unsigned char previous = state.previous;

    // Bytes of the current row: those before this append are in state.row.
    const qint64 rowBufferStart = state.rowStart;
    const std::vector<char>& rowBuffer = state.row;
    const auto at = [&](qint64 q) {
        return q < spanStart
                   ? static_cast<unsigned char>(rowBuffer[std::size_t(q - rowBufferStart)])
                   : first[q - spanStart];
    };
    const auto startRow = [&](qint64 start) {
        rows.startRow(start);
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
        // The line break itself. The LF of a CR LF, and a CR after a CR (a device's CR
        // ending a line that the log adds CR LF to), end the row the CR already ended.
        const qint64 position = positionOf(p);
        if (previous == kCR && rowStart == position) {
            rows.moveLastStart(position + 1);
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
        state.row.assign(bytes.data() + (rowStart - spanStart), bytes.data() + bytes.size());
    } else {
        state.row.erase(state.row.begin(), state.row.begin() + (rowStart - rowBufferStart));
        state.row.insert(state.row.end(), bytes.data(), bytes.data() + bytes.size());
    }
    state.rowStart = rowStart;
    state.wrapped = end;
    state.rowWidth = rowWidth;
    state.spacesFrom = spacesFrom;
    state.previous = previous;
}

void TextRows::setReader(Reader reader)
{
    m_reader = std::move(reader);
    forget();
}

void TextRows::setAdvances(const std::array<int, 256>& advances)
{
    m_advances = advances;
    for (int b = 0; b < 256; ++b)
        m_step[std::size_t(b)] = advances[std::size_t(b)] | (b == ' ' ? 1 << kSpaceShift : 0);
    forget();
}

bool TextRows::setWidth(int units)
{
    units = std::max(1, units);
    if (units == m_width)
        return false;
    m_width = units;
    forget();
    return true;
}

void TextRows::clear()
{
    m_checkpoints.assign(1, 0);
    m_tail.assign(1, 0);
    m_tail.shrink_to_fit();
    m_wrap = Wrap();
    forget();
}

void TextRows::forget()
{
    for (Stretch& kept : m_kept) {
        kept.index = -1;
        kept.starts = {};
    }
}

void TextRows::startRow(qint64 at)
{
    if (qint64(m_tail.size()) == kStretchRows) {
        m_checkpoints.push_back(at);
        m_tail.clear();
    } else if (m_tail.capacity() == m_tail.size()) {
        m_tail.reserve(std::size_t(kStretchRows));
    }
    m_tail.push_back(at);
}

void TextRows::moveLastStart(qint64 at)
{
    m_tail.back() = at;
    if (m_tail.size() == 1)
        m_checkpoints.back() = at;
}

const std::vector<qint64>& TextRows::stretch(qint64 index) const
{
    ++m_clock;
    Stretch* slot = &m_kept[0];
    for (Stretch& kept : m_kept) {
        if (kept.index == index) {
            kept.used = m_clock;
            return kept.starts;
        }
        if (kept.used < slot->used)
            slot = &kept;
    }
    const qint64 from = m_checkpoints[std::size_t(index)];
    const qint64 to = m_checkpoints[std::size_t(index) + 1];
    slot->index = index;
    slot->used = m_clock;
    slot->starts.clear();
    slot->starts.reserve(std::size_t(kStretchRows) + 1);
    slot->starts.push_back(from);
    Wrap state;
    state.rowStart = state.wrapped = from;
    if (from > 0 && m_reader) {
        m_reader(from - 1, from, [&state](QByteArrayView span) {
            state.previous = static_cast<unsigned char>(span.back());
            return false;
        });
    }
    StretchRows rows{slot->starts};
    if (m_reader) {
        m_reader(from, to, [&](QByteArrayView span) {
            wrap(state, span, rows);
            return qint64(rows.starts.size()) < kStretchRows + 1;
        });
    }
    // The bytes up to the next checkpoint hold every start of the stretch (and perhaps the
    // next checkpoint's). Rows a reader could not give back are left empty at the next
    // checkpoint, so that starts still rise.
    slot->starts.resize(std::size_t(kStretchRows), to);
    return slot->starts;
}

qint64 TextRows::rowStart(qint64 row) const
{
    row = std::clamp<qint64>(row, 0, rowCount() - 1);
    const qint64 index = row >> kStretchShift;
    if (index == qint64(m_checkpoints.size()) - 1)
        return m_tail[std::size_t(row - (index << kStretchShift))];
    return stretch(index)[std::size_t(row & (kStretchRows - 1))];
}

qint64 TextRows::rowEnd(qint64 row) const
{
    return row + 1 < rowCount() ? rowStart(row + 1) : m_wrap.wrapped;
}

qint64 TextRows::rowOf(qint64 position) const
{
    if (position >= m_tail.front()) {
        const auto after = std::upper_bound(m_tail.begin(), m_tail.end(), position);
        return (qint64(m_checkpoints.size()) - 1) * kStretchRows + (after - m_tail.begin()) - 1;
    }
    const auto after = std::upper_bound(m_checkpoints.begin(), m_checkpoints.end(), position);
    const qint64 index = std::max<qint64>(0, (after - m_checkpoints.begin()) - 1);
    const std::vector<qint64>& starts = stretch(index);
    const auto within = std::upper_bound(starts.begin(), starts.end(), position);
    return (index << kStretchShift) + std::max<qint64>(0, (within - starts.begin()) - 1);
}

qint64 TextRows::indexBytes() const
{
    // A deque keeps its elements in blocks of 512 bytes and a map of one pointer per block.
    const auto checkpoints = qint64(m_checkpoints.size()) * qint64(sizeof(qint64));
    qint64 kept = 0;
    for (const Stretch& stretch : m_kept)
        kept += qint64(stretch.starts.capacity() * sizeof(qint64));
    return checkpoints + checkpoints / 64 + 512 + qint64(m_tail.capacity() * sizeof(qint64)) +
           qint64(m_wrap.row.capacity()) + kept;
}

void TextRows::append(QByteArrayView bytes)
{
    // A serial character comes by itself: what wrap() does for one that fits the row being
    // filled, or is a line break, without its set-up.
    if (bytes.size() == 1) {
        const auto byte = static_cast<unsigned char>(bytes[0]);
        const qint64 position = m_wrap.wrapped;
        const int width = m_step[byte] & kWidthMask;
        if (byte == kCR || byte == kLF) {
            // The LF of a CR LF, or a CR after a CR, ends the row the CR already ended.
            if (m_wrap.previous == kCR && m_wrap.rowStart == position)
                moveLastStart(position + 1);
            else
                startRow(position + 1);
            m_wrap.rowStart = position + 1;
            m_wrap.rowWidth = 0;
            m_wrap.spacesFrom = kNoSpace;
            m_wrap.row.clear();
        } else if (m_wrap.rowWidth + width <= m_width) {
            if (byte == ' ' && m_wrap.spacesFrom > position)
                m_wrap.spacesFrom = position;
            m_wrap.rowWidth += width;
            m_wrap.row.push_back(char(byte));
        } else {
            IndexRows rows{*this};
            wrap(m_wrap, bytes, rows);
            return;
        }
        m_wrap.previous = byte;
        m_wrap.wrapped = position + 1;
        return;
    }
    IndexRows rows{*this};
    wrap(m_wrap, bytes, rows);
}
