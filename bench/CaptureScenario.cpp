// Writing to a file while capturing: a peer floods the server endpoint with device-log text
// while "Grabar en archivo…" writes every chunk to a file as session CSV. Timed from the first
// byte sent until the last is in the file; the event loop's gaps are measured meanwhile.

#include "CaptureScenario.h"

#include "BenchSupport.h"
#include "SustainedFlood.h"

#include "app/ServerFrm.h"
#include "app/ServerFrmControls.h"
#include "base/OperatorMessages.h"
#include "codes/SessionCapture.h"
#include "record/SessionRecord.h"
#include "support/peers/PeerStream.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRadioButton>
#include <QTemporaryDir>

#include <atomic>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class NoMessages final : public OperatorMessages {
public:
    void show(const QString&, MessageIcon) override { ++count; }
    int count = 0;
};

// Takes everything written into a named pipe as it comes, moved into /dev/null without
// being copied out, until the writer closes it.
class PipeReader {
public:
    explicit PipeReader(const QString& path)
        : m_path(QFile::encodeName(path))
    {
        ::mkfifo(m_path.constData(), 0600);
        // Open without waiting for a writer, so that a capture that never starts cannot hold
        // the benchmark.
        m_fd = ::open(m_path.constData(), O_RDONLY | O_NONBLOCK);
        m_thread = std::thread([this] { run(); });
    }

    ~PipeReader()
    {
        // A writer that never came: one that opens and closes ends the reading.
        if (!m_writerCame) {
            const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        }
        m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }

    qint64 bytes() const { return m_bytes; }

private:
    void run()
    {
        const int sink = ::open("/dev/null", O_WRONLY);
        if (m_fd < 0 || sink < 0)
            return;
        ::fcntl(m_fd, F_SETPIPE_SZ, 1 << 20);
        for (;;) {
            // Until a writer has come and gone, no data is no end.
            pollfd ready{m_fd, POLLIN, 0};
            if (::poll(&ready, 1, -1) < 0)
                break;
            const ssize_t moved = ::splice(m_fd, nullptr, sink, nullptr, 1 << 20, SPLICE_F_MOVE);
            if (moved > 0) {
                m_writerCame = true;
                m_bytes += moved;
            } else if (moved == 0 || errno != EAGAIN) {
                break;
            }
        }
        ::close(sink);
    }

    QByteArray m_path;
    int m_fd = -1;
    std::atomic<bool> m_writerCame = false;
    std::atomic<qint64> m_bytes = 0;
    std::thread m_thread;
};

} // namespace

CaptureRun captureWhileFlooding(qint64 total, const PeerStream& stream, CaptureInto into)
{
    CaptureRun run;
    // A memory-backed folder where there is one, as for the save: the disk here syncs about
    // 80 MB/s, and the CSV is about eight times the bytes received.
    const QString shm = QStringLiteral("/dev/shm");
    QTemporaryDir folder((QFileInfo(shm).isDir() ? shm : QDir::tempPath()) +
                         QStringLiteral("/quorvane-bench-XXXXXX"));
    const QString path = folder.filePath(QStringLiteral("captura.csv"));
    // Ends after the window, which closes the capture.
    std::optional<PipeReader> pipe;
    if (into == CaptureInto::Pipe)
        pipe.emplace(path);
    auto messages = std::make_unique<NoMessages>();
    const NoMessages& told = *messages;
    ServerFrmPlatform platform;
    platform.messages = std::move(messages);
    platform.askSavePath = [path](QWidget*, const QString&, const QString&) {
        return path;
    };
    platform.askCaptureStart = [](QWidget*, const QString&) {
        return CaptureStart::FromNow;
    };
    ServerFrm w(std::move(platform));
    w.show();
    w.controls().Option1->click();
    SessionCapture& capture = w.sessionCapture();
    qint64 written = 0;
    QObject::connect(&capture, &SessionCapture::written,
                     [&written](qint64 rows) { written = rows; });
    capture.action()->trigger();

    StallMeter stalls;
    stalls.start();
    QElapsedTimer clock;
    clock.start();
    const SustainedFloodRun flood = sustainedTcpFlood(w, total, stream, FloodCheck::Later);
    capture.catchUp();
    const qint64 rows = w.sessionRecord().codeRowCount();
    const bool inFile = runUntil([&] { return written >= rows || told.count > 0; }, 600'000);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    stalls.stop();
    // Every byte checked once the clock has stopped: reading the whole record back would take
    // a core from the writer while it finishes.
    if (!flood.ok || !inFile || told.count > 0 ||
        bytesNotAsSent(w.sessionRecord(), flood.firstRow, total, stream) != 0)
        return run;
    run.megabytesPerSecond = double(total) / double(1 << 20) / seconds;
    run.stallP99Ms = stalls.percentile(0.99);
    run.fileMegabytes = double(pipe ? pipe->bytes() : QFileInfo(path).size()) / double(1 << 20);
    run.ok = true;
    return run;
}
