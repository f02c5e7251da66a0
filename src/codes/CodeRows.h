#pragma once

#include "platform/AppendOnlyBytes.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <deque>

// The text of one code row: a comma and the decimal code of each character, in order
// ("AB" -> ",65,66"; an empty chunk -> ""). Codes are the bytes' values, 0 to 255.
// With maxCodes >= 0, at most that many codes are rendered, followed by "…" if more remain.
QString codeRowText(QByteArrayView chunk, qsizetype maxCodes = -1);
// The same text as ASCII bytes, without the "…".
QByteArray codeRowBytes(QByteArrayView chunk, qsizetype maxCodes = -1);

// Every received chunk, in arrival order: the bytes in one append-only store and where each
// chunk ends. A row costs its bytes and one offset; its text is made only when asked for.
class CodeRows {
public:
    void append(QByteArrayView chunk);

    qint64 count() const { return qint64(m_ends.size()); }
    qint64 byteCount() const { return m_bytes.size(); }
    QByteArray bytes(qint64 row) const;
    // The first maxBytes bytes of a row, for showing it without copying all of a huge chunk.
    QByteArray head(qint64 row, qint64 maxBytes) const;
    qint64 length(qint64 row) const { return end(row) - start(row); }

private:
    qint64 start(qint64 row) const { return row == 0 ? 0 : m_ends[std::size_t(row - 1)]; }
    qint64 end(qint64 row) const { return m_ends[std::size_t(row)]; }

    AppendOnlyBytes m_bytes;
    std::deque<qint64> m_ends;
};
