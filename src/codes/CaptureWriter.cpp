#include "codes/CaptureWriter.h"

#include "codes/LineGrouping.h"
#include "codes/SessionCsv.h"
#include "views/FileSave.h"
#include "views/FileWrites.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;
// A kill loses nothing written; a power loss at most this much.
constexpr auto kSyncEvery = std::chrono::seconds(1);
// How often a held line is looked at, to be written once it can no longer grow.
constexpr auto kHeldLineCheck = std::chrono::milliseconds(line_grouping::kPauseMs);

// Whether the open file is still the one at path: a removed folder or file leaves the
// descriptor writable, into nothing anyone can read.
bool stillThere(const QFile& file, const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat opened {};
    struct stat named {};
    if (::fstat(file.handle(), &opened) != 0 || !S_ISREG(opened.st_mode))
        return true; // a device or a pipe is not ours to check
    return ::stat(QFile::encodeName(path).constData(), &named) == 0 &&
           named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
#else
    Q_UNUSED(file);
    return QFileInfo::exists(path);
#endif
}

void syncToDisk(const QFile& file)
{
#ifdef Q_OS_UNIX
    // A device or a pipe refuses it, harmlessly.
    ::fdatasync(file.handle());
#else
    Q_UNUSED(file);
#endif
}

// The CSV's pieces in turn: while the system copies some into the file's pages, which on a
// busy machine takes as long as making them, the next are made.
constexpr int kPieces = 8;

// Writes the pieces handed to it on a thread of its own, in order. The maker waits only once
// all its pieces are handed over, and then until half are written, so that neither side wakes
// the other for every piece.
class PieceWriter {
public:
    PieceWriter(QFile& file, WaitingWrites& writes)
        : m_file(file)
        , m_writes(writes)
        , m_thread([this] { run(); })
    {
    }

    ~PieceWriter()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_handed.notify_one();
        m_thread.join();
    }

    // The bytes must stay as they are until written. Returns false once a write failed.
    bool hand(QByteArrayView bytes)
    {
        std::unique_lock lock(m_mutex);
        if (m_error != 0)
            return false;
        m_queue.push_back(bytes);
        m_handed.notify_one();
        if (std::ssize(m_queue) >= kPieces) {
            m_makerWaits = true;
            m_written.wait(lock, [this] { return m_error != 0 || m_queue.size() <= kPieces / 2; });
            m_makerWaits = false;
        }
        return m_error == 0;
    }

    // Waits until everything handed over is written. Returns false if a write failed.
    bool drain()
    {
        std::unique_lock lock(m_mutex);
        m_makerWaits = true;
        m_written.wait(lock, [this] { return m_error != 0 || m_queue.empty(); });
        m_makerWaits = false;
        return m_error == 0;
    }

    // Why the write failed, once it did; ECANCELED: waiting for room was given up.
    int errorNumber()
    {
        const std::lock_guard lock(m_mutex);
        return m_error;
    }

private:
    void run()
    {
        holdWriteSignals();
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_handed.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            const QByteArrayView bytes = m_queue.front();
            lock.unlock();
            int error = 0;
            const bool wrote = m_writes.writeAll(m_file, bytes, error);
            lock.lock();
            m_queue.pop_front();
            if (!wrote) {
                m_error = error;
                m_queue.clear();
            }
            if (m_makerWaits && (m_error != 0 || m_queue.size() <= kPieces / 2))
                m_written.notify_one();
            if (m_error != 0)
                return;
        }
    }

    QFile& m_file;
    WaitingWrites& m_writes;
    std::mutex m_mutex;
    std::condition_variable m_handed;
    std::condition_variable m_written;
    std::deque<QByteArrayView> m_queue;
    bool m_makerWaits = false;
    bool m_stopping = false;
    int m_error = 0;
    std::thread m_thread;
};

} // namespace

CaptureWriter::CaptureWriter(QString path, QObject* parent)
    : QObject(parent)
    , m_path(std::move(path))
{
}

CaptureWriter::~CaptureWriter()
{
    finish();
    // A pipe or terminal that takes no more is not waited for: the window is closing.
    m_writes.giveUp();
    if (m_thread.joinable())
        m_thread.join();
}

void CaptureWriter::start()
{
    m_thread = std::thread([this] { run(); });
}

void CaptureWriter::give(RecordSnapshot snapshot, qint64 fromRow, bool grouped)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_job)
            fromRow = m_job->fromRow;
        m_job = Job{std::move(snapshot), fromRow, grouped};
    }
    m_wake.notify_one();
}

void CaptureWriter::finish()
{
    {
        const std::lock_guard lock(m_mutex);
        m_finishing = true;
    }
    m_wake.notify_one();
}

void CaptureWriter::run()
{
    holdWriteSignals();
    const QFileInfo target(m_path);
    const QString folder = target.absolutePath();
    const bool isPipe = isNamedPipe(m_path);
    int openError = 0;
    std::unique_ptr<QFile> opened;
    if (target.exists() && !target.isFile()) {
        opened = openInPlace(m_path, openError);
    } else {
        opened = std::make_unique<QFile>(m_path);
        errno = 0;
        if (!opened->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            openError = errno;
    }
    QFile& file = *opened;
    // Whether the file was opened and its header written.
    bool began = false;
    const auto fail = [&](int errorNumber) {
        if (errorNumber == ECANCELED)
            return; // the window closes: nothing to tell
        const QString reason = !stillThere(file, m_path) && QFileInfo(folder).isDir()
                                   ? QStringLiteral("el archivo se borró o se cambió de sitio")
                                   : fileFailureReason(file, errorNumber, folder, isPipe);
        QMetaObject::invokeMethod(
            this, [this, reason, began] { emit failed(reason, began); }, Qt::QueuedConnection);
    };
    if (!file.isOpen()) {
        fail(openError);
        return;
    }
    // Whether something was written since the last sync.
    bool unsynced = true;
    int headerError = 0;
    if (!m_writes.writeAll(file, sessionCsvHeader(), headerError)) {
        fail(headerError);
        return;
    }
    began = true;
    // The pieces' writer ends before the pieces it writes from.
    PieceWriter* pieces = nullptr;
    const auto allWritten = [&] {
        if (pieces->drain())
            return true;
        fail(pieces->errorNumber());
        return false;
    };
    SessionCsvRows csv(
        [&](QByteArrayView bytes) {
            unsynced = true;
            return pieces->hand(bytes) || allWritten();
        },
        kPieces);
    PieceWriter writer(file, m_writes);
    pieces = &writer;
    const auto append = [&csv](const CodeRowEntry& row) {
        return csv.append(row);
    };
    LineGroupWriter lines(append);
    auto lastSync = Clock::now();
    for (;;) {
        std::optional<Job> job;
        bool finishing = false;
        {
            std::unique_lock lock(m_mutex);
            const auto until = lines.holding()
                                   ? std::min(lastSync + kSyncEvery, Clock::now() + kHeldLineCheck)
                                   : lastSync + kSyncEvery;
            m_wake.wait_until(lock, until, [&] { return m_job || m_finishing; });
            job = std::exchange(m_job, std::nullopt);
            finishing = m_finishing;
        }
        if (job) {
            const bool wrote = job->snapshot.forEachCodeRow(
                [&](const CodeRowEntry& row) {
                    if (job->grouped)
                        return lines.add(row);
                    return lines.flush() && append(row);
                },
                job->fromRow);
            if (!wrote)
                return;
        }
        // A line that can no longer grow is written; all of it before the file closes.
        if (lines.holding() && (finishing || lines.closedBy(QDateTime::currentMSecsSinceEpoch())) &&
            !lines.flush())
            return;
        if (!csv.flush() || !allWritten())
            return;
        if (job) {
            const qint64 rows = job->snapshot.codeRowCount();
            QMetaObject::invokeMethod(
                this, [this, rows] { emit written(rows); }, Qt::QueuedConnection);
        }
        if (Clock::now() - lastSync >= kSyncEvery || (finishing && !job)) {
            lastSync = Clock::now();
            if (!stillThere(file, m_path)) {
                fail(ENOENT);
                return;
            }
            if (unsynced)
                syncToDisk(file);
            unsynced = false;
        }
        if (finishing && !job)
            break;
    }
    file.close();
    QMetaObject::invokeMethod(
        this, [this] { emit finished(); }, Qt::QueuedConnection);
}
