#include "codes/CodeRows.h"

#include <algorithm>

QByteArray codeRowBytes(QByteArrayView chunk, qsizetype maxCodes)
{
    const qsizetype shown = maxCodes < 0 ? chunk.size() : std::min(chunk.size(), maxCodes);
    QByteArray row(shown * 4, Qt::Uninitialized);
    char* out = row.data();
    for (qsizetype i = 0; i < shown; ++i) {
        const auto code = static_cast<unsigned char>(chunk[i]);
        *out++ = ',';
        if (code >= 100)
            *out++ = char('0' + code / 100);
        if (code >= 10)
            *out++ = char('0' + code / 10 % 10);
        *out++ = char('0' + code % 10);
    }
    row.truncate(out - row.constData());
    return row;
}

QString codeRowText(QByteArrayView chunk, qsizetype maxCodes)
{
    QString row = QString::fromLatin1(codeRowBytes(chunk, maxCodes));
    if (maxCodes >= 0 && chunk.size() > maxCodes)
        row += u'…';
    return row;
}

void CodeRows::append(QByteArrayView chunk)
{
    m_bytes.append(chunk);
    m_ends.push_back(m_bytes.size());
}

QByteArray CodeRows::bytes(qint64 row) const
{
    return m_bytes.mid(start(row), length(row));
}

QByteArray CodeRows::head(qint64 row, qint64 maxBytes) const
{
    return m_bytes.mid(start(row), std::min(length(row), maxBytes));
}
