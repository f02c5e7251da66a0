#include "record/RowColumn.h"

#include "record/SealedBlock.h"

namespace record_detail {

namespace {

// Writes at out, which has room for the ten bytes of the longest varint.
void putVarint(char*& out, quint64 value)
{
    while (value >= 0x80) {
        *out++ = char(value | 0x80);
        value >>= 7;
    }
    *out++ = char(value);
}

quint64 getVarint(const unsigned char*& p)
{
    quint64 value = 0;
    int shift = 0;
    while (*p & 0x80) {
        value |= quint64(*p++ & 0x7F) << shift;
        shift += 7;
    }
    return value | (quint64(*p++) << shift);
}

quint64 zigzag(qint64 value)
{
    return (quint64(value) << 1) ^ quint64(value >> 63);
}

qint64 unzigzag(quint64 value)
{
    return qint64(value >> 1) ^ -qint64(value & 1);
}

} // namespace

QByteArray encodeRows(const std::vector<RowEntry>& rows, qint64 firstTime, LinkEnds& linkEnd)
{
    // Written through a pointer: a serial flood seals a column every 16,384 characters.
    QByteArray column(qsizetype(rows.size()) * (1 + 3 * 10), Qt::Uninitialized);
    char* out = column.data();
    qint64 time = firstTime;
    for (const RowEntry& row : rows) {
        qint64& end = linkEnd[std::size_t(row.link)];
        *out++ = char(int(row.link));
        putVarint(out, quint64(row.offset - end));
        putVarint(out, quint64(row.length));
        putVarint(out, zigzag(row.time - time));
        time = row.time;
        end = row.offset + row.length;
    }
    column.truncate(out - column.data());
    return column;
}

std::vector<RowEntry> decodeRows(const RowBlock& block)
{
    std::vector<RowEntry> rows;
    rows.reserve(std::size_t(block.count));
    const BlockContents contents = block.column->load();
    const auto* p = reinterpret_cast<const unsigned char*>(contents.view().data());
    LinkEnds linkEnd = block.linkEnd;
    qint64 time = block.firstTime;
    for (qint64 i = 0; i < block.count; ++i) {
        RowEntry row;
        row.link = Link(*p++ & 3);
        qint64& end = linkEnd[std::size_t(row.link)];
        row.offset = end + qint64(getVarint(p));
        row.length = qint64(getVarint(p));
        time += unzigzag(getVarint(p));
        row.time = time;
        end = row.offset + row.length;
        rows.push_back(row);
    }
    return rows;
}

} // namespace record_detail
