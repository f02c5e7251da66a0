#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>
#include <vector>

// Blocks are 2 MB, the size of a huge page. The fuzzing build makes them tiny, so that short
// inputs already cross many block boundaries.
#ifndef QUORVANE_STORE_BLOCK_SHIFT
#define QUORVANE_STORE_BLOCK_SHIFT 21
#endif

// Bytes that are only ever appended, kept in fixed blocks: an append copies just what is
// appended and never moves what is already stored, so a transcript of hundreds of megabytes
// grows at a flat cost per byte, and pages not yet written cost no memory. Past its first
// block a store takes blocks backed by huge pages and already touched by a supply thread, so
// a flood's cost on the window's thread is the copy alone.
// It does not decode anything: the bytes are the text in its single-byte form.
class AppendOnlyBytes {
public:
    static constexpr int kBlockShift = QUORVANE_STORE_BLOCK_SHIFT;
    static constexpr qint64 kBlockSize = qint64(1) << kBlockShift;
    static constexpr qint64 kOffsetMask = kBlockSize - 1;

    void append(QByteArrayView bytes);
    void clear();

    qint64 size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    unsigned char at(qint64 position) const
    {
        return static_cast<unsigned char>(
            m_blocks[std::size_t(position >> kBlockShift)].get()[position & kOffsetMask]);
    }
    QByteArray mid(qint64 position, qint64 length) const;
    // The position of the last byte equal to byte in [from, to), or -1.
    qint64 lastIndexOf(char byte, qint64 from, qint64 to) const;

    // Calls visit(QByteArrayView) for [position, position + length) in contiguous pieces.
    template <typename Visit> void forEachSpan(qint64 position, qint64 length, Visit&& visit) const
    {
        while (length > 0) {
            const qint64 offset = position & kOffsetMask;
            const qint64 piece = std::min(length, kBlockSize - offset);
            visit(QByteArrayView(m_blocks[std::size_t(position >> kBlockShift)].get() + offset,
                                 piece));
            position += piece;
            length -= piece;
        }
    }

private:
    struct FreeBlock {
        void operator()(char* block) const;
    };
    using Block = std::unique_ptr<char, FreeBlock>;
    static Block newBlock(bool large);

    std::vector<Block> m_blocks;
    qint64 m_size = 0;
};
