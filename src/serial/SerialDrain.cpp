#include "serial/SerialDrain.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

class Drains {
public:
    ~Drains()
    {
        // The window is gone: what is still going out gets a bounded time, then the program
        // ends.
        m_exitBy = (Clock::now() + SerialDrain::kExitWait).time_since_epoch().count();
        const std::lock_guard lock(m_mutex);
        for (Drain& drain : m_drains)
            drain.thread.join();
    }

    void start(int descriptor, QByteArray unsent, const QString& device, Clock::time_point by)
    {
        const std::lock_guard lock(m_mutex);
        collect();
        auto done = std::make_shared<std::atomic<bool>>(false);
        std::thread thread([this, descriptor, unsent = std::move(unsent), by, done] {
            finish(descriptor, unsent, by);
            *done = true;
        });
        m_drains.push_back({device, std::move(thread), std::move(done)});
    }

    bool busy(const QString& device)
    {
        const std::lock_guard lock(m_mutex);
        collect();
        for (const Drain& drain : m_drains) {
            if (drain.device == device)
                return true;
        }
        return false;
    }

private:
    struct Drain {
        QString device;
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    // Ends the threads that have finished.
    void collect()
    {
        for (auto it = m_drains.begin(); it != m_drains.end();) {
            if (*it->done) {
                it->thread.join();
                it = m_drains.erase(it);
            } else {
                ++it;
            }
        }
    }

    // Runs on the drain's own thread; touches nothing but the descriptor.
    void finish(int descriptor, const QByteArray& unsent, Clock::time_point by)
    {
        const auto left = [&] {
            const Clock::time_point exitBy{Clock::duration(m_exitBy.load())};
            return std::min(by, exitBy) - Clock::now();
        };
        const auto slice = [&] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(
                std::clamp<Clock::duration>(left(), 0ms, 20ms));
        };

        bool failed = false;
        qsizetype sent = 0;
        while (sent < unsent.size() && left() > 0ms) {
            pollfd writable{descriptor, POLLOUT, 0};
            ::poll(&writable, 1, int(slice().count()));
            const ssize_t written =
                ::write(descriptor, unsent.constData() + sent, size_t(unsent.size() - sent));
            if (written > 0) {
                sent += written;
            } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
                failed = true; // the device is gone
                break;
            }
        }
        bool drained = !failed && sent == unsent.size();
        while (drained) {
            int queued = 0;
            if (::ioctl(descriptor, TIOCOUTQ, &queued) != 0 || queued == 0)
                break;
            if (left() <= 0ms) {
                drained = false;
                break;
            }
            std::this_thread::sleep_for(std::min<Clock::duration>(slice(), 5ms));
        }
        // Nothing left for the close to wait for.
        if (!drained)
            ::tcflush(descriptor, TCOFLUSH);
#ifdef TIOCNXCL
        ::ioctl(descriptor, TIOCNXCL);
#endif
        ::close(descriptor);
    }

    std::mutex m_mutex;
    std::vector<Drain> m_drains;
    std::atomic<Clock::rep> m_exitBy{Clock::time_point::max().time_since_epoch().count()};
};

Drains& drains()
{
    static Drains instance;
    return instance;
}

} // namespace

void SerialDrain::start(int descriptor, QByteArray unsent, const QString& device,
                        std::chrono::milliseconds budget)
{
    drains().start(descriptor, std::move(unsent), device, Clock::now() + budget);
}

bool SerialDrain::busy(const QString& device)
{
    return drains().busy(device);
}
