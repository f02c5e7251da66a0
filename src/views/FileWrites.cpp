#include "views/FileWrites.h"

#include <QFile>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

void holdWriteSignals()
{
#ifdef Q_OS_UNIX
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGPIPE);
    sigaddset(&held, SIGXFSZ);
    pthread_sigmask(SIG_BLOCK, &held, nullptr);
#endif
}

bool isNamedPipe(const QString& path)
{
#ifdef Q_OS_UNIX
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISFIFO(status.st_mode);
#else
    Q_UNUSED(path);
    return false;
#endif
}

std::unique_ptr<QFile> openInPlace(const QString& path, int& errorNumber)
{
    auto file = std::make_unique<QFile>(path);
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        errorNumber = errno;
        file->setFileName(path);
        return file;
    }
    if (!file->open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        ::close(fd);
#else
    if (!file->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        errorNumber = errno;
#endif
    return file;
}

WaitingWrites::WaitingWrites()
{
#ifdef Q_OS_UNIX
    int wake[2];
    if (::pipe(wake) == 0) {
        for (const int fd : wake)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(wake[1], F_SETFL, O_NONBLOCK);
        m_wakeRead = wake[0];
        m_wakeWrite = wake[1];
    }
#endif
}

WaitingWrites::~WaitingWrites()
{
#ifdef Q_OS_UNIX
    for (const int fd : {m_wakeRead, m_wakeWrite}) {
        if (fd >= 0)
            ::close(fd);
    }
#endif
}

void WaitingWrites::giveUp()
{
    m_givenUp = true;
#ifdef Q_OS_UNIX
    // One byte is enough to wake a waiting write; a full wake pipe has one already.
    const char wake = 1;
    if (m_wakeWrite >= 0 && ::write(m_wakeWrite, &wake, 1) < 0) {
    }
#endif
}

bool WaitingWrites::writeAll(QFileDevice& file, QByteArrayView bytes, int& errorNumber)
{
    const char* data = bytes.data();
    qint64 left = bytes.size();
    while (left > 0) {
        errno = 0;
        const qint64 written = file.write(data, left);
        if (written > 0) {
            data += written;
            left -= written;
            m_hungUp = false;
            continue;
        }
        const int error = errno;
        if ((error == EAGAIN || error == EWOULDBLOCK) && !m_hungUp) {
            // A pipe or terminal whose reader is slower than the writer: wait for room.
            const Wait wait = waitUntilWritable(file.handle());
            if (wait == Wait::GivenUp) {
                errorNumber = ECANCELED;
                return false;
            }
            if (wait != Wait::Failed) {
                m_hungUp = wait == Wait::HungUp;
                continue;
            }
        }
        errorNumber = error != 0 ? error : EIO;
        return false;
    }
    return true;
}

WaitingWrites::Wait WaitingWrites::waitUntilWritable(int descriptor)
{
#ifdef Q_OS_UNIX
    pollfd watched[2] = {{descriptor, POLLOUT, 0}, {m_wakeRead, POLLIN, 0}};
    const nfds_t count = m_wakeRead >= 0 ? 2 : 1;
    while (!m_givenUp) {
        if (::poll(watched, count, -1) < 0) {
            if (errno == EINTR)
                continue;
            errno = EAGAIN;
            return Wait::Failed;
        }
        if (m_givenUp)
            break;
        if (watched[0].revents & POLLOUT)
            return Wait::Writable;
        // A reader gone, a line hung up: the next write tells which.
        if (watched[0].revents != 0)
            return Wait::HungUp;
        if (count == 2 && watched[1].revents != 0)
            break;
    }
    return Wait::GivenUp;
#else
    Q_UNUSED(descriptor);
    errno = EAGAIN;
    return Wait::Failed;
#endif
}
