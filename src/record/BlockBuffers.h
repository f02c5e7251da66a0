#pragma once

#include <QtGlobal>

// Record blocks hold 256 KB. The fuzzing build makes them tiny, so that short inputs already
// cross many block boundaries and compressed blocks.
#ifndef QUORVANE_STORE_BLOCK_SHIFT
#define QUORVANE_STORE_BLOCK_SHIFT 18
#endif

namespace record_detail {

inline constexpr int kBlockShift = QUORVANE_STORE_BLOCK_SHIFT;
inline constexpr qint64 kBlockSize = qint64(1) << kBlockShift;

// A block's bytes before compression: a whole block's buffer, taken from a pool of buffers kept
// touched for reuse (a block freed by the compressor becomes the next open block, so a flood
// costs no fresh pages while compression keeps up), or a buffer of another size (a row column)
// from the heap. Written once by its owner, then only read.
class RawBlock {
public:
    explicit RawBlock(qint64 capacity);
    ~RawBlock();
    RawBlock(const RawBlock&) = delete;
    RawBlock& operator=(const RawBlock&) = delete;

    char* data() const { return m_data; }

private:
    char* const m_data;
    const bool m_pooled;
};

} // namespace record_detail
