#include "record/ByteStream.h"

#include "record/BlockTally.h"
#include "record/Compressor.h"
#include "record/SealedBlock.h"

#include <cstring>

namespace record_detail {

QByteArrayView ByteStream::openBytes() const
{
    return m_open ? QByteArrayView(m_open->data(), m_size & (kBlockSize - 1)) : QByteArrayView();
}

bool ByteStream::append(QByteArrayView bytes, const std::shared_ptr<BlockTally>& tally)
{
    // A serial character, inside the open block: stored as it is.
    if (bytes.size() == 1 && m_open && ((m_size + 1) & (kBlockSize - 1)) != 0) {
        m_open->data()[m_size & (kBlockSize - 1)] = bytes[0];
        ++m_size;
        return false;
    }
    bool sealedOne = false;
    const char* from = bytes.data();
    qint64 left = bytes.size();
    while (left > 0) {
        if (!m_open) {
            m_open = std::make_shared<RawBlock>(kBlockSize);
            tally->addHeld(kBlockSize);
        }
        const qint64 offset = m_size & (kBlockSize - 1);
        const qint64 piece = std::min(left, kBlockSize - offset);
        std::memcpy(m_open->data() + offset, from, std::size_t(piece));
        from += piece;
        left -= piece;
        m_size += piece;
        if ((m_size & (kBlockSize - 1)) == 0) {
            tally->addBacklog(kBlockSize);
            auto block =
                std::make_shared<SealedBlock>(std::move(m_open), kBlockSize, kBlockSize, tally);
            m_open.reset();
            m_sealed.push_back(block);
            Compressor::instance().submit(std::move(block));
            sealedOne = true;
        }
    }
    return sealedOne;
}

} // namespace record_detail
