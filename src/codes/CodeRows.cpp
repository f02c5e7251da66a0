#include "codes/CodeRows.h"

#include <array>

namespace {

// ",0" ... ",255", made once.
const std::array<QString, 256>& codePieces()
{
    static const std::array<QString, 256> pieces = [] {
        std::array<QString, 256> made;
        for (int code = 0; code < 256; ++code)
            made[std::size_t(code)] = u',' + QString::number(code);
        return made;
    }();
    return pieces;
}

} // namespace

QString codeRowText(QByteArrayView chunk, qsizetype maxCodes)
{
    const auto& pieces = codePieces();
    const qsizetype shown = maxCodes < 0 ? chunk.size() : std::min(chunk.size(), maxCodes);
    QString row;
    row.reserve(shown * 4 + 1);
    for (qsizetype i = 0; i < shown; ++i)
        row += pieces[static_cast<unsigned char>(chunk[i])];
    if (shown < chunk.size())
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
