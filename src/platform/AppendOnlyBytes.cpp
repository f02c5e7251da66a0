#include "platform/AppendOnlyBytes.h"

#include <algorithm>
#include <cstring>

void AppendOnlyBytes::append(QByteArrayView bytes)
{
    const char* from = bytes.data();
    qint64 left = bytes.size();
    while (left > 0) {
        const qint64 offset = m_size % kBlockSize;
        if (offset == 0 && std::size_t(m_size / kBlockSize) == m_blocks.size()) {
            // Left uninitialised on purpose: pages are only touched as they are written.
            m_blocks.emplace_back(new char[kBlockSize]);
        }
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
