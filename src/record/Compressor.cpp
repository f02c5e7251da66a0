#include "record/Compressor.h"

#include "record/SealedBlock.h"

#include <QtGlobal>

#include <algorithm>
#include <chrono>

#include <zstd.h>

// Linux only: the compressor's threads named and niced. Elsewhere, and in the portable build,
// plain threads.
#if defined(Q_OS_LINUX) && !defined(QUORVANE_PORTABLE)
#define QUORVANE_RECORD_NICE_THREADS
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace record_detail {

namespace {

// Two threads keep up with a TCP flood on a machine of two cores or more; more would only
// take cores from the links.
constexpr unsigned kMostThreads = 2;

} // namespace

Compressor& Compressor::instance()
{
    static Compressor compressor;
    return compressor;
}

Compressor::Compressor()
    : m_threadCount(std::clamp(std::thread::hardware_concurrency(), 1u, kMostThreads))
{
}

Compressor::~Compressor()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

void Compressor::submit(std::shared_ptr<SealedBlock> block)
{
    {
        const std::lock_guard lock(m_mutex);
        // Threads start with the first blocks that need them, not with the program.
        if (m_threads.size() < m_threadCount && m_queue.size() >= m_threads.size()) {
            std::thread& thread = m_threads.emplace_back([this] { run(); });
#if defined(QUORVANE_RECORD_NICE_THREADS)
            pthread_setname_np(thread.native_handle(), "quorvane-record");
#else
            Q_UNUSED(thread);
#endif
        }
        m_queue.push_back(std::move(block));
    }
    m_wake.notify_one();
}

bool Compressor::waitIdle(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return m_queue.empty() && m_busy == 0; });
}

void Compressor::run()
{
#if defined(QUORVANE_RECORD_NICE_THREADS)
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 10);
#endif
    ZSTD_CCtx* context = ZSTD_createCCtx();
    std::vector<char> scratch;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop)
            break;
        std::shared_ptr<SealedBlock> block = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_busy;
        lock.unlock();
        block->compress(scratch, context);
        block.reset();
        lock.lock();
        --m_busy;
        if (m_queue.empty() && m_busy == 0)
            m_idle.notify_all();
    }
    ZSTD_freeCCtx(context);
}

} // namespace record_detail
