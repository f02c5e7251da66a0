#pragma once

#include "record/BlockBuffers.h"

#include <QByteArrayView>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace record_detail {

class BlockTally;
class SealedBlock;

using SealedBlocks = std::vector<std::shared_ptr<const SealedBlock>>;

// One stream of the record, only ever appended to: its sealed blocks and the open one it
// fills. A block that fills is sealed and handed to the compressor. On the window's thread.
class ByteStream {
public:
    qint64 size() const { return m_size; }
    const SealedBlocks& sealed() const { return m_sealed; }
    QByteArrayView openBytes() const;

    // Returns whether a block was sealed.
    bool append(QByteArrayView bytes, const std::shared_ptr<BlockTally>& tally);

private:
    SealedBlocks m_sealed;
    std::shared_ptr<RawBlock> m_open;
    qint64 m_size = 0;
};

// Visits [position, position + length) of a stream made of sealed blocks and an open one, in
// contiguous pieces, until visit returns false; load gives a sealed block's bytes. Returns
// false if stopped.
template <typename Load>
bool visitStream(const SealedBlocks& sealed, QByteArrayView open, qint64 position, qint64 length,
                 Load&& load, const std::function<bool(QByteArrayView)>& visit)
{
    while (length > 0) {
        const std::size_t index = std::size_t(position >> kBlockShift);
        const qint64 offset = position & (kBlockSize - 1);
        const QByteArrayView block = index < sealed.size() ? load(sealed[index]) : open;
        const qint64 piece = std::min(length, qint64(block.size()) - offset);
        if (piece <= 0)
            return true; // past what is there
        if (!visit(block.sliced(offset, piece)))
            return false;
        position += piece;
        length -= piece;
    }
    return true;
}

} // namespace record_detail
