#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

// Record blocks hold 256 KB. The fuzzing build makes them tiny, so that short inputs already
// cross many block boundaries and compressed blocks.
#ifndef QUORVANE_STORE_BLOCK_SHIFT
#define QUORVANE_STORE_BLOCK_SHIFT 18
#endif

// The three log panes: Text3, Text4 and Text2.
enum class Pane { Server, Client, Serial };
// Where a received chunk was shown: the pane its bytes went to. Unknown for a chunk that no
// pane showed.
enum class Link { Server, Client, Serial, Unknown };

// One row of the code list as the record holds it.
struct CodeRowEntry {
    qint64 msecsSinceEpoch = 0;
    Link link = Link::Unknown;
    QByteArrayView bytes;
};

namespace record_detail {
struct SealedBlock;
struct RowBlock;
struct RowEntry;
class BlockCache;
} // namespace record_detail

// Everything the window received and wrote to its panes in this session, kept once and only
// ever appended to: one byte stream per pane (its prefixes, payloads, line breaks and serial
// characters, in order) and the code rows, one per received chunk (its arrival time and where
// its bytes lie). A received chunk's bytes are stored once: the chunk handed to addCodeRow is
// held until the handler writes it to its pane, and the row then points into the pane's
// stream; a chunk no pane takes is kept apart. "Limpiar" only moves where its pane begins.
//
// Streams and rows fill fixed blocks; a full block is sealed and compressed by a helper thread
// (zstd), and decompressed again, into a small cache, only when a view reads it. Per block the
// record keeps a few numbers (first row, where each stream stood, the first time), so that
// finding a row or a byte is a look-up of its block and a scan of that block.
//
// The code list (CodeRows) and the log panes (LogPane with TextRows) are views over it; the
// handlers write through them. Everything but snapshot readers runs on the window's thread.
// What it deliberately does not do: forget anything before the window closes, or write files.
class SessionRecord : public QObject {
    Q_OBJECT

public:
    static constexpr int kBlockShift = QUORVANE_STORE_BLOCK_SHIFT;
    static constexpr qint64 kBlockSize = qint64(1) << kBlockShift;
    // Rows per row block.
    static constexpr qint64 kRowsPerBlock = qint64(1) << (kBlockShift - 4);

    // A frozen view of the record at the time it was taken: cheap to take and to copy (it
    // shares the sealed blocks and copies only the open ones), and readable on any thread
    // while the record keeps growing.
    class Snapshot {
    public:
        Snapshot();
        ~Snapshot();
        Snapshot(const Snapshot&);
        Snapshot& operator=(const Snapshot&);

        // The pane's bytes exactly as the pane holds them (after its last "Limpiar"), in
        // order, in contiguous pieces; visit returns false to stop. Returns false if stopped.
        qint64 paneSize(Pane pane) const;
        bool forEachPaneSpan(Pane pane, const std::function<bool(QByteArrayView)>& visit) const;

        // Every code row in arrival order, from row fromRow on; visit returns false to stop.
        // Returns false if stopped. The bytes are valid during the call only.
        qint64 codeRowCount() const;
        bool forEachCodeRow(const std::function<bool(const CodeRowEntry&)>& visit,
                            qint64 fromRow = 0) const;

    private:
        friend class SessionRecord;
        struct Data;
        std::shared_ptr<const Data> m_data;
    };

    explicit SessionRecord(QObject* parent = nullptr);
    ~SessionRecord() override;

    // --- writing (the views do it for the handlers) ----------------------------------------

    // One code row for one received chunk, empty included, stamped with the time of this turn
    // of the event loop (so characters read in one batch share it).
    void addCodeRow(QByteArrayView chunk);
    // Bytes written to a pane. Bytes equal to the chunk of the newest code row, not yet shown,
    // are that chunk: the row then points here instead of keeping its own copy.
    void appendToPane(Pane pane, QByteArrayView bytes);
    // "Limpiar": the pane shows nothing of what it held.
    void clearPane(Pane pane);

    // --- reading, on the window's thread ---------------------------------------------------

    qint64 paneSize(Pane pane) const;
    // The pane's bytes [position, position + length), clamped.
    QByteArray paneBytes(Pane pane, qint64 position, qint64 length) const;
    unsigned char paneByte(Pane pane, qint64 position) const;
    // Calls visit(QByteArrayView) for the pane's bytes [position, position + length) in
    // contiguous pieces, in order, until it returns false.
    void forEachPaneSpan(Pane pane, qint64 position, qint64 length,
                         const std::function<bool(QByteArrayView)>& visit) const;

    qint64 codeRowCount() const;
    // The bytes of all code rows together.
    qint64 codeRowBytesTotal() const { return m_rowBytesTotal; }
    qint64 codeRowLength(qint64 row) const;
    Link codeRowLink(qint64 row) const;
    // Where the row's bytes begin in its link's pane, counted from where the pane begins now
    // (negative once "Limpiar" has removed them); -1 for a row no pane showed.
    qint64 codeRowPanePosition(qint64 row) const;
    qint64 codeRowTime(qint64 row) const;
    // The row's bytes, at most maxBytes of them when maxBytes >= 0.
    QByteArray codeRowBytes(qint64 row, qint64 maxBytes = -1) const;

    Snapshot snapshot() const;

    // --- memory ----------------------------------------------------------------------------

    // What the session holds in memory now: the record, compressed blocks as compressed, and
    // what the views over it count.
    qint64 heldBytes() const;
    // A view that keeps something per byte or per row of its own (a pane's row index) has it
    // counted with the record, in heldBytes and against the memory limit, until it is
    // uncounted (before the view goes).
    void countViewMemory(const void* view, std::function<qint64()> bytes);
    void uncountViewMemory(const void* view);
    // memoryShort is raised once when heldBytes passes this; by default half the machine's
    // physical memory.
    void setMemoryLimit(qint64 bytes) { m_memoryLimit = bytes; }
    qint64 memoryLimit() const { return m_memoryLimit; }
    // Waits (up to timeoutMs) until every sealed block of every record has been compressed;
    // for measurements. Returns whether it got there.
    static bool waitUntilCompressed(int timeoutMs);

signals:
    // Raised once, the first time the record holds more than the memory limit.
    void memoryShort(qint64 heldBytes);

private:
    struct Stream;
    friend class Snapshot;

    static constexpr int kUnattached = 3; // the stream of chunks no pane showed
    static int streamOf(Pane pane) { return int(pane); }

    void settlePending() const;
    void releasePending() const;
    void sealRows();
    void checkMemory();
    record_detail::RowEntry rowAt(qint64 row) const;
    qint64 stamp();

    std::array<std::unique_ptr<Stream>, 4> m_streams;
    // Where each pane begins in its stream: its last "Limpiar".
    std::array<qint64, 3> m_paneStart{};

    std::vector<std::shared_ptr<const record_detail::RowBlock>> m_rowBlocks;
    // Rows of the open block, whole; the newest may still wait for its pane.
    mutable std::vector<record_detail::RowEntry> m_openRows;
    qint64 m_sealedRows = 0;
    // Where each stream's last sealed row ended.
    std::array<qint64, 4> m_linkEnd{};
    qint64 m_rowBytesTotal = 0;
    // The chunk of the newest row while no pane has taken it yet.
    mutable QByteArray m_pending;
    mutable bool m_pendingOpen = false;

    qint64 m_stamp = 0;
    bool m_stampValid = false;

    std::shared_ptr<std::atomic<qint64>> m_held;
    std::vector<std::pair<const void*, std::function<qint64()>>> m_viewMemory;
    qint64 m_memoryLimit = 0;
    bool m_memoryTold = false;

    std::unique_ptr<record_detail::BlockCache> m_cache;
};
