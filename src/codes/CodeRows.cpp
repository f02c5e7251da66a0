#include "codes/CodeRows.h"

#include <QDateTime>

#include <algorithm>

QByteArray codeRowAscii(QByteArrayView chunk, qsizetype maxCodes, CodeBase base)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const qsizetype shown = maxCodes < 0 ? chunk.size() : std::min(chunk.size(), maxCodes);
    QByteArray row(shown * 4, Qt::Uninitialized);
    char* out = row.data();
    if (base == CodeBase::Hexadecimal) {
        for (qsizetype i = 0; i < shown; ++i) {
            const auto code = static_cast<unsigned char>(chunk[i]);
            *out++ = ',';
            *out++ = kHex[code >> 4];
            *out++ = kHex[code & 0xF];
        }
    } else {
        for (qsizetype i = 0; i < shown; ++i) {
            const auto code = static_cast<unsigned char>(chunk[i]);
            *out++ = ',';
            if (code >= 100)
                *out++ = char('0' + code / 100);
            if (code >= 10)
                *out++ = char('0' + code / 10 % 10);
            *out++ = char('0' + code % 10);
        }
    }
    row.truncate(out - row.constData());
    return row;
}

QString codeRowText(QByteArrayView chunk, qsizetype maxCodes, CodeBase base)
{
    QString row = QString::fromLatin1(codeRowAscii(chunk, maxCodes, base));
    if (maxCodes >= 0 && chunk.size() > maxCodes)
        row += u'…';
    return row;
}

QString codeRowToolTip(Link link, qint64 msecsSinceEpoch, QByteArrayView head, qint64 length,
                       qsizetype maxBytes)
{
    const QString name = link == Link::Unknown ? QStringLiteral("Desconocido") : linkName(link);
    const QString time = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch)
                             .toLocalTime()
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    const qsizetype shown = std::min(head.size(), maxBytes);
    QString hex = QString::fromLatin1(head.first(shown).toByteArray().toHex(' ').toUpper());
    if (length > shown)
        hex += QStringLiteral(" …");
    return QStringLiteral("Enlace: %1\nLlegada: %2\nBytes: %3\n%4")
        .arg(name, time, QString::number(length), hex);
}

QByteArray CodeRows::head(qint64 row, qint64 maxBytes) const
{
    if (maxBytes < 0 || maxBytes > m_keptHeadBytes)
        return m_record.codeRowBytes(row, maxBytes);
    // Consecutive rows, as a view shows them, never share a place.
    KeptHead& kept = m_heads[std::size_t(row) % kKeptHeads];
    if (kept.row != row)
        kept = {row, m_record.codeRowBytes(row, m_keptHeadBytes)};
    return kept.bytes.first(std::min(maxBytes, kept.bytes.size()));
}
