#pragma once

#include "record/Link.h"
#include "record/RecordSnapshot.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QtGlobal>

#include <atomic>

// Finding a byte pattern in a snapshot of the session record, on a helper thread: in one
// pane's bytes, or in the code rows' bytes, where a link's rows are read as one stream (a
// serial line received one character per row is found across its rows). The blocks are
// decompressed one after the other and searched as they come; a match across a block's
// boundary is found like any other. From a position it finds the next match (or the
// previous one), wrapping round past the end (or the start). A search that is cancelled
// returns no match. What it deliberately does not do: touch a widget or the record itself.
namespace RecordSearch {

enum class Direction { Next, Previous };

struct PaneMatch {
    // Where the match starts in the pane, -1 for none.
    qint64 position = -1;
    // The code row the match's first received byte belongs to (its link and arrival time),
    // if the match touches received bytes at all.
    CodeRowEntry row;
};

// Next: the first match starting at from or later, else the first of all. Previous: the last
// match starting before from, else the last of all.
PaneMatch findInPane(const RecordSnapshot& snapshot, Link link, QByteArrayView needle, qint64 from,
                     Direction direction, const std::atomic<bool>& cancelled);

struct RowPlace {
    qint64 row = 0;
    qint64 offset = 0;
    friend bool operator<(const RowPlace& a, const RowPlace& b)
    {
        return a.row < b.row || (a.row == b.row && a.offset < b.offset);
    }
};

struct RowsMatch {
    bool found = false;
    // Where its first byte is, and every row it covers (all of one link), in order.
    RowPlace start;
    QList<qint64> rows;
    qint64 msecsSinceEpoch = CodeRowEntry::kNoTime;
    Link link = Link::Unknown;
};

// The same over the code rows from firstRow on, positions being (row, byte within it).
RowsMatch findInRows(const RecordSnapshot& snapshot, qint64 firstRow, QByteArrayView needle,
                     RowPlace from, Direction direction, const std::atomic<bool>& cancelled);

} // namespace RecordSearch
