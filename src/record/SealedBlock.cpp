#include "record/SealedBlock.h"

#include "record/BlockTally.h"

#include <zstd.h>

namespace record_detail {

SealedBlock::SealedBlock(std::shared_ptr<const RawBlock> raw, qint64 size, qint64 heldAsRaw,
                         std::shared_ptr<BlockTally> tally)
    : m_size(size)
    , m_rawHeld(heldAsRaw)
    , m_tally(std::move(tally))
    , m_raw(std::move(raw))
{
}

BlockContents SealedBlock::load() const
{
    BlockContents contents;
    loadInto(contents, nullptr);
    return contents;
}

void SealedBlock::loadInto(BlockContents& contents, ZSTD_DCtx* context) const
{
    contents.size = m_size;
    contents.raw.reset();
    bool isStored = false;
    QByteArray frame;
    {
        const std::lock_guard lock(m_mutex);
        if (m_raw) {
            contents.raw = m_raw;
            return;
        }
        frame = m_compressed;
        isStored = m_stored;
    }
    if (isStored) {
        contents.bytes = frame;
        return;
    }
    // A buffer shared with a stored block's frame is not written into: detach it first.
    contents.bytes.resize(m_size);
    char* into = contents.bytes.data();
    const std::size_t got = context
                                ? ZSTD_decompressDCtx(context, into, std::size_t(m_size),
                                                      frame.constData(), std::size_t(frame.size()))
                                : ZSTD_decompress(into, std::size_t(m_size), frame.constData(),
                                                  std::size_t(frame.size()));
    if (ZSTD_isError(got) || qint64(got) != m_size)
        qFatal("record block damaged in memory");
}

void SealedBlock::compress(std::vector<char>& scratch, ZSTD_CCtx* context)
{
    std::shared_ptr<const RawBlock> bytes;
    {
        const std::lock_guard lock(m_mutex);
        bytes = m_raw;
    }
    if (!bytes)
        return;
    scratch.resize(ZSTD_compressBound(std::size_t(m_size)));
    const std::size_t packed = ZSTD_compressCCtx(context, scratch.data(), scratch.size(),
                                                 bytes->data(), std::size_t(m_size), 1);
    const bool saves = !ZSTD_isError(packed) && qint64(packed) < m_size;
    QByteArray result =
        saves ? QByteArray(scratch.data(), qsizetype(packed)) : QByteArray(bytes->data(), m_size);
    const qint64 now = result.size();
    {
        const std::lock_guard lock(m_mutex);
        m_compressed = std::move(result);
        m_stored = !saves;
        m_raw.reset();
    }
    m_tally->compressed(m_rawHeld, now);
}

} // namespace record_detail
