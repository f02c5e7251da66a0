#pragma once

#include "record/CodeRowEntry.h"
#include "record/Link.h"
#include "record/RowColumn.h"

#include <QByteArrayView>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <vector>

// A frozen view of the session record at the time it was taken (SessionRecord::snapshot):
// cheap to take and to copy (it shares the sealed blocks and copies only the open ones), and
// readable on any thread while the record keeps growing. Saving reads it.
class RecordSnapshot {
    struct Data;

public:
    RecordSnapshot();
    ~RecordSnapshot();
    RecordSnapshot(const RecordSnapshot&);
    RecordSnapshot& operator=(const RecordSnapshot&);

    // The pane's bytes exactly as the pane held them (after its last "Limpiar"), in order, in
    // contiguous pieces; visit returns false to stop. Returns false if stopped.
    qint64 paneSize(Link link) const;
    bool forEachPaneSpan(Link link, const std::function<bool(QByteArrayView)>& visit) const;

    // The same bytes as numbered pieces of at most a block each, for reading on several threads
    // at once, each with a reader of its own: a long search decompresses on every core.
    class PaneReader {
    public:
        PaneReader(const RecordSnapshot& snapshot, Link link);
        ~PaneReader();
        PaneReader(const PaneReader&) = delete;
        PaneReader& operator=(const PaneReader&) = delete;

        qint64 pieceCount() const;
        // Where piece begins in the pane, and the piece that holds position (the last one past
        // the end).
        qint64 piecePosition(qint64 piece) const;
        qint64 pieceAt(qint64 position) const;
        // The piece's bytes, valid until the next read through this reader.
        QByteArrayView read(qint64 piece);

    private:
        struct Buffers;
        std::shared_ptr<const Data> m_data;
        std::size_t m_stream;
        std::unique_ptr<Buffers> m_buffers;
    };

    // Every code row in arrival order, from row fromRow on; visit returns false to stop.
    // Returns false if stopped. The bytes are valid during the call only.
    qint64 codeRowCount() const;
    bool forEachCodeRow(const std::function<bool(const CodeRowEntry&)>& visit,
                        qint64 fromRow = 0) const;

    // One link's non-empty code rows in arrival order, read one at a time without their bytes:
    // where each begins in the pane (negative before its last "Limpiar"), its length and time.
    class LinkRows {
    public:
        struct Row {
            qint64 panePosition = 0;
            qint64 length = 0;
            qint64 time = 0;
        };
        // The next row, or false when there is none.
        bool next(Row& row);

    private:
        friend class RecordSnapshot;
        std::shared_ptr<const Data> m_data;
        Link m_link = Link::Unknown;
        std::size_t m_block = 0;
        std::vector<record_detail::RowEntry> m_rows;
        std::size_t m_index = 0;
        bool m_open = false;
    };
    LinkRows linkRows(Link link) const;
    // The first code row of the link whose bytes lie in the pane's [position, position +
    // length) (its time and link; no bytes); an entry without a time if none does (a prefix,
    // the window's own line).
    CodeRowEntry paneRowAt(Link link, qint64 position, qint64 length) const;

private:
    friend class SessionRecord;
    std::shared_ptr<const Data> m_data;
};
