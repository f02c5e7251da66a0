#pragma once

#include "record/SessionRecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>

// How a row writes its codes: the byte's value in plain decimal ("65"), or as two upper-case
// hexadecimal digits ("41").
enum class CodeBase { Decimal, Hexadecimal };

// The text of one code row: a comma and the code of each character, in order ("AB" ->
// ",65,66", or ",41,42" in hexadecimal; an empty chunk -> ""). Codes are the bytes' values,
// 0 to 255. With maxCodes >= 0, at most that many codes are rendered, followed by "…" if more
// remain.
QString codeRowText(QByteArrayView chunk, qsizetype maxCodes = -1,
                    CodeBase base = CodeBase::Decimal);
// The same text as ASCII bytes, without the "…".
QByteArray codeRowAscii(QByteArrayView chunk, qsizetype maxCodes = -1,
                        CodeBase base = CodeBase::Decimal);

inline constexpr qsizetype kToolTipBytes = 64;
// What hovering a row tells: the link, the local time of arrival to the millisecond, the
// byte count and the chunk in hexadecimal (at most maxBytes of it, then "…"). head holds
// the chunk's first bytes, length its whole size.
QString codeRowToolTip(Link link, qint64 msecsSinceEpoch, QByteArrayView head, qint64 length,
                       qsizetype maxBytes = kToolTipBytes);

// The code list's row model: every received chunk, in arrival order, as the session record
// holds it (its bytes, its link and its time of arrival). It keeps nothing of its own but the
// heads of the rows read last: a row's text is made only when asked for.
class CodeRows {
public:
    // keptHeadBytes: how much of a row's head is kept once read (0: none).
    explicit CodeRows(const SessionRecord& record, qint64 keptHeadBytes = 0)
        : m_record(record)
        , m_keptHeadBytes(keptHeadBytes)
    {
    }

    qint64 count() const { return m_record.codeRowCount(); }
    qint64 byteCount() const { return m_record.codeRowBytesTotal(); }
    QByteArray bytes(qint64 row) const { return m_record.codeRowBytes(row); }
    // The first maxBytes bytes of a row, for showing it without copying all of a huge chunk.
    QByteArray head(qint64 row, qint64 maxBytes) const;
    qint64 length(qint64 row) const { return m_record.codeRowLength(row); }
    Link link(qint64 row) const { return m_record.codeRowLink(row); }
    qint64 msecsSinceEpoch(qint64 row) const { return m_record.codeRowTime(row); }

private:
    // A row's bytes never change. In a flood of long chunks each row's head lies in a block of
    // its own, which the views' few decompressed blocks cannot all hold: without these, the
    // rows in view would be decompressed again at every frame.
    static constexpr std::size_t kKeptHeads = 64;
    struct KeptHead {
        qint64 row = -1;
        QByteArray bytes;
    };

    const SessionRecord& m_record;
    qint64 m_keptHeadBytes = 0;
    mutable std::array<KeptHead, kKeptHeads> m_heads;
};
