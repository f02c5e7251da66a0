#pragma once

#include "record/BlockBuffers.h"

#include <QByteArray>
#include <QByteArrayView>

#include <memory>
#include <mutex>
#include <vector>

typedef struct ZSTD_CCtx_s ZSTD_CCtx;
typedef struct ZSTD_DCtx_s ZSTD_DCtx;

namespace record_detail {

class BlockTally;

// What a sealed block holds when read: its raw buffer, shared, or its decompressed bytes.
struct BlockContents {
    std::shared_ptr<const RawBlock> raw;
    QByteArray bytes;
    qint64 size = 0;
    QByteArrayView view() const
    {
        return raw ? QByteArrayView(raw->data(), size) : QByteArrayView(bytes);
    }
};

// A full block: its bytes never change again. It starts raw, counted in its record's backlog;
// the compressor replaces them by their zstd frame (or by an exact copy, if compressing saves
// nothing). Readable on any thread, whichever form it is in.
class SealedBlock {
public:
    // A block of size bytes, held in memory as heldAsRaw bytes until it is compressed.
    SealedBlock(std::shared_ptr<const RawBlock> raw, qint64 size, qint64 heldAsRaw,
                std::shared_ptr<BlockTally> tally);

    qint64 size() const { return m_size; }
    BlockContents load() const;
    // The same into contents, whose buffer is reused when it is its own, decompressing with
    // the caller's context: for reading block after block without allocating.
    void loadInto(BlockContents& contents, ZSTD_DCtx* context) const;
    // On the compressor's thread; scratch and context are that thread's own.
    void compress(std::vector<char>& scratch, ZSTD_CCtx* context);

private:
    const qint64 m_size;
    const qint64 m_rawHeld;
    const std::shared_ptr<BlockTally> m_tally;
    mutable std::mutex m_mutex;
    std::shared_ptr<const RawBlock> m_raw;
    QByteArray m_compressed;
    bool m_stored = false;
};

} // namespace record_detail
