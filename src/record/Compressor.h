#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace record_detail {

class SealedBlock;

// Compresses sealed blocks, oldest first, on threads of its own (one per core, at most two) at a
// lower priority than the window and the links: a flood is received first and compressed as the
// machine allows. One for the whole process, shared by every record.
class Compressor {
public:
    static Compressor& instance();

    void submit(std::shared_ptr<SealedBlock> block);
    // Waits (up to timeoutMs) until every block submitted so far is compressed.
    bool waitIdle(int timeoutMs);

private:
    Compressor();
    ~Compressor();
    void run();

    const std::size_t m_threadCount;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::shared_ptr<SealedBlock>> m_queue;
    int m_busy = 0;
    bool m_stop = false;
    std::vector<std::thread> m_threads;
};

} // namespace record_detail
