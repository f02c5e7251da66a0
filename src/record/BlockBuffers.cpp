#include "record/BlockBuffers.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

// Linux only: whole blocks mapped straight from the system. Elsewhere, and in the portable
// build, malloc.
#if defined(Q_OS_LINUX) && !defined(QUORVANE_PORTABLE)
#define QUORVANE_RECORD_MAPPED_BLOCKS
#include <sys/mman.h>
#endif

namespace record_detail {

namespace {

constexpr std::size_t kBlockBytes = std::size_t(kBlockSize);
// Large blocks are mapped by themselves, so that what is freed beyond the pool goes back to
// the system instead of staying in the heap.
constexpr bool kMapBlocks = kBlockBytes >= 64 * 1024;

class BufferPool {
public:
    static BufferPool& instance()
    {
        static BufferPool pool;
        return pool;
    }

    char* take()
    {
        {
            const std::lock_guard lock(m_mutex);
            if (!m_free.empty()) {
                char* buffer = m_free.back();
                m_free.pop_back();
                return buffer;
            }
        }
        return allocate();
    }

    void give(char* buffer)
    {
        {
            const std::lock_guard lock(m_mutex);
            if (m_free.size() < kKept) {
                m_free.push_back(buffer);
                return;
            }
        }
        release(buffer);
    }

private:
    static constexpr std::size_t kKept = 4;

    ~BufferPool()
    {
        for (char* buffer : m_free)
            release(buffer);
    }

    static char* allocate()
    {
#if defined(QUORVANE_RECORD_MAPPED_BLOCKS)
        if constexpr (kMapBlocks) {
            void* memory = mmap(nullptr, kBlockBytes, PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (memory == MAP_FAILED)
                throw std::bad_alloc();
            return static_cast<char*>(memory);
        }
#endif
        void* memory = std::malloc(kBlockBytes);
        if (!memory)
            throw std::bad_alloc();
        return static_cast<char*>(memory);
    }

    static void release(char* buffer)
    {
#if defined(QUORVANE_RECORD_MAPPED_BLOCKS)
        if constexpr (kMapBlocks) {
            munmap(buffer, kBlockBytes);
            return;
        }
#endif
        std::free(buffer);
    }

    std::mutex m_mutex;
    std::vector<char*> m_free;
};

char* allocateRaw(qint64 capacity, bool pooled)
{
    if (pooled)
        return BufferPool::instance().take();
    void* memory = std::malloc(std::size_t(std::max<qint64>(capacity, 1)));
    if (!memory)
        throw std::bad_alloc();
    return static_cast<char*>(memory);
}

} // namespace

RawBlock::RawBlock(qint64 capacity)
    : m_data(allocateRaw(capacity, capacity == kBlockSize))
    , m_pooled(capacity == kBlockSize)
{
}

RawBlock::~RawBlock()
{
    if (m_pooled)
        BufferPool::instance().give(m_data);
    else
        std::free(m_data);
}

} // namespace record_detail
