#pragma once

#include "record/BlockBuffers.h"
#include "record/ByteStream.h"
#include "record/Link.h"
#include "record/RecordSnapshot.h"
#include "record/RowColumn.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>

#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace record_detail {
class BlockCache;
class BlockTally;
} // namespace record_detail

// Everything the window received and wrote to its panes in this session, kept once and only
// ever appended to: one byte stream per pane (its prefixes, payloads, line breaks and serial
// characters, in order) and the code rows, one per received chunk (its arrival time and where
// its bytes lie). A received chunk's bytes are stored once: the chunk handed to addCodeRow is
// held until the handler writes it to its pane with appendReceived, and the row then points
// into the pane's stream; a chunk no pane takes is kept apart. "Limpiar" only moves where its
// pane begins.
//
// Streams and rows fill fixed blocks (ByteStream, RowColumn); a full block is sealed and
// compressed by the Compressor's threads (zstd), and decompressed again, into a small cache
// (BlockCache), only when a view reads it. Per block the record keeps a few numbers (first row,
// where each stream stood, the first time), so that finding a row or a byte is a look-up of its
// block and a scan of that block. A snapshot (RecordSnapshot) reads it on another thread.
//
// The code list (CodeRows) and the log panes (LogPane with TextRows) are views over it; the
// handlers write through them. Everything but snapshot readers runs on the window's thread.
// What it deliberately does not do: forget anything before the window closes, compare what it
// is given with what it holds, or write files.
class SessionRecord : public QObject {
    Q_OBJECT

public:
    static constexpr int kBlockShift = record_detail::kBlockShift;
    static constexpr qint64 kBlockSize = record_detail::kBlockSize;
    // Rows per row block.
    static constexpr qint64 kRowsPerBlock = qint64(1) << (kBlockShift - 4);
    // Past this many uncompressed bytes waiting for the compressor, the record is behind.
    static constexpr qint64 kBacklogBound = qint64(128) << 20;

    explicit SessionRecord(QObject* parent = nullptr);
    ~SessionRecord() override;

    // --- writing (the views do it for the handlers) ----------------------------------------

    // One code row for one received chunk, empty included, stamped with the time of this turn
    // of the event loop (so characters read in one batch share it).
    void addCodeRow(QByteArrayView chunk);
    // The newest code row's chunk, written to its link's pane: the row then points here
    // instead of keeping its own copy. Bytes of another length than that chunk (a caller's
    // slip) are written as they are, and the row keeps its own copy.
    void appendReceived(Link link, QByteArrayView chunk);
    // Anything else a pane shows: prefixes, the window's own lines, line breaks.
    void appendToPane(Link link, QByteArrayView bytes);
    // "Limpiar": the pane shows nothing of what it held.
    void clearPane(Link link);

    // --- reading, on the window's thread ---------------------------------------------------

    qint64 paneSize(Link link) const;
    // The pane's bytes [position, position + length), clamped.
    QByteArray paneBytes(Link link, qint64 position, qint64 length) const;
    unsigned char paneByte(Link link, qint64 position) const;
    // Calls visit(QByteArrayView) for the pane's bytes [position, position + length) in
    // contiguous pieces, in order, until it returns false.
    void forEachPaneSpan(Link link, qint64 position, qint64 length,
                         const std::function<bool(QByteArrayView)>& visit) const;

    qint64 codeRowCount() const;
    // The bytes of all code rows together.
    qint64 codeRowBytesTotal() const { return m_rowBytesTotal; }
    qint64 codeRowLength(qint64 row) const;
    Link codeRowLink(qint64 row) const;
    qint64 codeRowTime(qint64 row) const;
    // The row's bytes, at most maxBytes of them when maxBytes >= 0.
    QByteArray codeRowBytes(qint64 row, qint64 maxBytes = -1) const;
    // Where the row's bytes begin in its link's pane (negative when "Limpiar" took them).
    qint64 codeRowPanePosition(qint64 row) const;
    // The first non-empty code row of the link whose bytes reach past the pane's position
    // (the row holding the byte there, or the next received one), or -1. A search of the
    // blocks by where the link's stream stood, then of one block: no per-byte index.
    qint64 receivedRowFrom(Link link, qint64 position) const;
    // The non-empty code row of the same link before the row, or -1.
    qint64 previousRowOfLink(qint64 row) const;

    RecordSnapshot snapshot() const;

    // --- memory ----------------------------------------------------------------------------

    // What the session holds in memory now: the record, compressed blocks as compressed, and
    // what the views over it count.
    qint64 heldBytes() const;
    // A view that keeps something per byte or per row of its own (a pane's row index) has it
    // counted with the record, in heldBytes and against the memory limit, until it is
    // uncounted (before the view goes).
    void countViewMemory(const void* view, std::function<qint64()> bytes);
    void uncountViewMemory(const void* view);
    // The bytes of sealed blocks that wait for the compressor, uncompressed.
    qint64 backlogBytes() const;
    bool isBehind() const { return m_behind; }
    // Waits (up to timeoutMs) until every sealed block of every record has been compressed;
    // for measurements. Returns whether it got there.
    static bool waitUntilCompressed(int timeoutMs);

signals:
    // Raised once, the first time the record holds more than its memory limit (half the
    // machine's physical memory).
    void memoryShort(qint64 heldBytes);
    // The compressor fell behind: more than the backlog bound waits for it (true); or it
    // caught up to half of that (false). A writer that can wait (a TCP connection) holds back
    // meanwhile; the record itself takes everything it is given either way.
    void behindChanged(bool behind);

private:
    // Tests read where a row lies in its pane and set small limits (tests/support).
    friend struct RecordProbe;

    // Returns whether a block was sealed.
    bool settlePending() const;
    void releasePending() const;
    void sealRows();
    void sealed();
    void checkMemory();
    void checkBacklog();
    record_detail::RowEntry rowAt(qint64 row) const;
    // The rows of a block, or the open ones, with where the first of them stands.
    const std::vector<record_detail::RowEntry>& rowsOfBlock(std::size_t block) const;
    qint64 stamp();

    mutable std::array<record_detail::ByteStream, record_detail::kStreamCount> m_streams;
    // Where each pane begins in its stream: its last "Limpiar".
    std::array<qint64, record_detail::kStreamCount> m_paneStart{};

    std::vector<std::shared_ptr<const record_detail::RowBlock>> m_rowBlocks;
    // Rows of the open block, whole; the newest may still wait for its pane.
    mutable std::vector<record_detail::RowEntry> m_openRows;
    qint64 m_sealedRows = 0;
    // Where each stream's last sealed row ended.
    record_detail::LinkEnds m_linkEnd{};
    qint64 m_rowBytesTotal = 0;
    // The chunk of the newest row while no pane has taken it yet.
    mutable QByteArray m_pending;
    mutable bool m_pendingOpen = false;

    qint64 m_stamp = 0;
    bool m_stampValid = false;

    std::shared_ptr<record_detail::BlockTally> m_tally;
    std::vector<std::pair<const void*, std::function<qint64()>>> m_viewMemory;
    qint64 m_memoryLimit = 0;
    bool m_memoryTold = false;
    qint64 m_backlogBound = kBacklogBound;
    bool m_behind = false;

    std::unique_ptr<record_detail::BlockCache> m_cache;
};
