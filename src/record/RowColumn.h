#pragma once

#include "record/Link.h"

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <memory>
#include <vector>

namespace record_detail {

class SealedBlock;

// One code row: when its chunk came, and where its bytes lie (its link's stream and the offset
// in it).
struct RowEntry {
    qint64 time = 0;
    qint64 offset = 0;
    qint64 length = 0;
    Link link = Link::Unknown;
};

// Where each link's stream stood after a row: the end of that link's latest row.
using LinkEnds = std::array<qint64, kStreamCount>;

// A sealed block of rows: what is needed to read its column back, and the column itself.
// Per row the column holds the link, the gap since the end of the link's previous row, the
// length, and the time since the previous row, as varints: a serial row is four bytes before
// compression and next to nothing after.
struct RowBlock {
    qint64 firstRow = 0;
    qint64 count = 0;
    qint64 firstTime = 0;
    LinkEnds linkEnd{};
    std::shared_ptr<SealedBlock> column;
};

// The column of rows that follow linkEnd and start at firstTime; linkEnd moves past them.
QByteArray encodeRows(const std::vector<RowEntry>& rows, qint64 firstTime, LinkEnds& linkEnd);
// A block's rows, decoded from its column.
std::vector<RowEntry> decodeRows(const RowBlock& block);

} // namespace record_detail
