#include "platform/AppendOnlyBytes.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(Q_OS_LINUX)
#include <sys/mman.h>
#endif

void AppendOnlyBytes::FreeBlock::operator()(char* block) const
{
    std::free(block);
}

AppendOnlyBytes::Block AppendOnlyBytes::newBlock(bool huge)
{
    // Aligned to its size so that it can be backed by huge pages; left uninitialised on
    // purpose: pages are only touched as they are written.
    void* memory = std::aligned_alloc(std::size_t(kBlockSize), std::size_t(kBlockSize));
    if (!memory)
        throw std::bad_alloc();
#if defined(Q_OS_LINUX) && defined(MADV_HUGEPAGE)
    if (huge)
        madvise(memory, std::size_t(kBlockSize), MADV_HUGEPAGE);
#else
    Q_UNUSED(huge);
#endif
    return Block(static_cast<char*>(memory));
}

void AppendOnlyBytes::append(QByteArrayView bytes)
{
    const char* from = bytes.data();
    qint64 left = bytes.size();
    while (left > 0) {
        const qint64 offset = m_size % kBlockSize;
        if (offset == 0 && std::size_t(m_size / kBlockSize) == m_blocks.size())
            m_blocks.push_back(newBlock(!m_blocks.empty()));
        const qint64 piece = std::min(left, kBlockSize - offset);
        std::memcpy(m_blocks.back().get() + offset, from, std::size_t(piece));
        from += piece;
        left -= piece;
        m_size += piece;
    }
}

void AppendOnlyBytes::clear()
{
    m_blocks.clear();
    m_size = 0;
}

QByteArray AppendOnlyBytes::mid(qint64 position, qint64 length) const
{
    position = std::clamp<qint64>(position, 0, m_size);
    length = std::clamp<qint64>(length, 0, m_size - position);
    QByteArray out;
    out.reserve(length);
    forEachSpan(position, length, [&out](QByteArrayView span) { out.append(span); });
    return out;
}
