#include "platform/AppendOnlyBytes.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <thread>

#if defined(Q_OS_LINUX)
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

constexpr std::size_t kBlockBytes = std::size_t(AppendOnlyBytes::kBlockSize);

// Aligned to its size so that it can be backed by huge pages; left uninitialised: pages are
// only touched as they are written.
char* allocateBlock(bool huge)
{
    void* memory = std::aligned_alloc(kBlockBytes, kBlockBytes);
    if (!memory)
        throw std::bad_alloc();
#if defined(Q_OS_LINUX) && defined(MADV_HUGEPAGE)
    if (huge)
        madvise(memory, kBlockBytes, MADV_HUGEPAGE);
#else
    Q_UNUSED(huge);
#endif
    return static_cast<char*>(memory);
}

// Keeps a few large blocks allocated and already touched, so that the system's zeroing of new
// pages, the dearest part of storing a flood, happens on a thread of its own and not on the
// window's. It starts with the first flood and stays idle while nothing is taken.
class BlockSupply {
public:
    static BlockSupply& instance()
    {
        static BlockSupply supply;
        return supply;
    }

    // A ready block, or nullptr when none is ready yet; asks for more either way.
    char* take()
    {
        char* block = nullptr;
        {
            const std::lock_guard lock(m_mutex);
            if (!m_thread.joinable()) {
                m_thread = std::thread([this] { fill(); });
#if defined(Q_OS_LINUX)
                pthread_setname_np(m_thread.native_handle(), "quorvane-blocks");
#endif
            }
            if (!m_ready.empty()) {
                block = m_ready.front();
                m_ready.pop_front();
            }
        }
        m_wanted.notify_one();
        return block;
    }

private:
    static constexpr std::size_t kReady = 4;

    BlockSupply() = default;
    ~BlockSupply()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wanted.notify_one();
        if (m_thread.joinable())
            m_thread.join();
        for (char* block : m_ready)
            std::free(block);
    }

    void fill()
    {
#if defined(Q_OS_LINUX)
        const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
#else
        const std::size_t page = 4096;
#endif
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wanted.wait(lock, [this] { return m_stop || m_ready.size() < kReady; });
            if (m_stop)
                return;
            lock.unlock();
            char* block = allocateBlock(true);
            for (std::size_t at = 0; at < kBlockBytes; at += page)
                block[at] = 0;
            lock.lock();
            m_ready.push_back(block);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wanted;
    std::deque<char*> m_ready;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace

void AppendOnlyBytes::FreeBlock::operator()(char* block) const
{
    std::free(block);
}

AppendOnlyBytes::Block AppendOnlyBytes::newBlock(bool large)
{
    // A store's first block stays on ordinary pages, so a short transcript costs only what it
    // holds; a store that outgrows it is in a flood, and takes prepared blocks from then on.
    if (large) {
        if (char* ready = BlockSupply::instance().take())
            return Block(ready);
    }
    return Block(allocateBlock(large));
}

void AppendOnlyBytes::append(QByteArrayView bytes)
{
    const char* from = bytes.data();
    qint64 left = bytes.size();
    while (left > 0) {
        const qint64 offset = m_size & kOffsetMask;
        if (offset == 0 && std::size_t(m_size >> kBlockShift) == m_blocks.size())
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

qint64 AppendOnlyBytes::lastIndexOf(char byte, qint64 from, qint64 to) const
{
    from = std::max<qint64>(from, 0);
    to = std::min(to, m_size);
    while (to > from) {
        const qint64 blockStart = (to - 1) & ~kOffsetMask;
        const qint64 start = std::max(from, blockStart);
        const char* block = m_blocks[std::size_t(blockStart >> kBlockShift)].get();
        if (const void* found =
                memrchr(block + (start - blockStart), byte, std::size_t(to - start)))
            return blockStart + (static_cast<const char*>(found) - block);
        to = start;
    }
    return -1;
}
