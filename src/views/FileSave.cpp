#include "views/FileSave.h"

#include "base/ControlError.h"
#include "base/FailureDispatch.h"
#include "base/OperatorMessages.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>
#include <QSaveFile>
#include <QWidget>

#include <cerrno>
#include <memory>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// The progress dialog waits this long before it appears: most saves are over by then.
constexpr int kProgressDelayMs = 500;

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

// A write into a pipe nobody reads any more, or past the size a file may have, raises a
// signal that would end the program: on the saving thread they are held, and the write fails
// with EPIPE or EFBIG instead, which the operator is told.
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

// A device or another special file is written where it is: QSaveFile would put a regular
// file in its place. Opened without blocking, so that a device nobody reads cannot hold the
// save (and the window's closing) forever: the save waits for it in poll, where "Cancelar"
// reaches it.
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

} // namespace

QString fileFailureReason(const QFileDevice& file, int errorNumber, const QString& folder,
                          bool isPipe)
{
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("la carpeta no existe");
    if (file.error() == QFileDevice::ResourceError)
        return QStringLiteral("el disco está lleno");
    switch (errorNumber) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return QStringLiteral("el disco está lleno");
    case EACCES:
    case EPERM:
        return QStringLiteral("no hay permiso para escribir ahí");
#ifdef EROFS
    case EROFS:
        return QStringLiteral("el sistema de archivos es de solo lectura");
#endif
    case ENOENT:
        return QStringLiteral("la carpeta no existe");
    case EISDIR:
        return QStringLiteral("es una carpeta");
    case ENAMETOOLONG:
        return QStringLiteral("el nombre es demasiado largo");
    case ENXIO:
        return isPipe ? QStringLiteral("nadie está leyendo esa tubería; abra antes el programa "
                                       "que la lee")
                      : QStringLiteral("el dispositivo no está presente");
    case EPIPE:
        return QStringLiteral("el programa que leía la tubería la cerró antes del final");
    case EAGAIN:
#if defined(EWOULDBLOCK) && EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
        return QStringLiteral("el destino no acepta más datos");
    case EIO:
        return QStringLiteral("falló la escritura en el dispositivo (error de entrada/salida); "
                              "puede haberse desconectado");
    case EFBIG:
        return QStringLiteral("el archivo supera el tamaño máximo permitido");
    default:
        break;
    }
    // Never the system's own text: it is English.
    return errorNumber != 0 ? QStringLiteral("el sistema lo rechazó (error %1)").arg(errorNumber)
                            : QStringLiteral("el sistema lo rechazó");
}

// Counts the work done, posts the progress when its thousandth changes, and writes.
class FileSave::Sink final : public SaveSink {
public:
    Sink(FileSave& save, QFileDevice& file)
        : m_save(save)
        , m_file(file)
    {
    }

    bool write(QByteArrayView bytes) override
    {
        if (m_save.m_cancelled)
            return false;
        const char* data = bytes.data();
        qint64 left = bytes.size();
        while (left > 0) {
            errno = 0;
            const qint64 written = m_file.write(data, left);
            if (written > 0) {
                data += written;
                left -= written;
                m_hungUp = false;
                continue;
            }
            const int error = errno;
            if ((error == EAGAIN || error == EWOULDBLOCK) && !m_hungUp) {
                // A pipe or terminal whose reader is slower than the save: wait for room.
                const Wait wait = m_save.waitUntilWritable(m_file.handle());
                if (wait == Wait::Cancelled)
                    return false;
                if (wait != Wait::Failed) {
                    // After a hang-up the next write tells why; it may not wait again.
                    m_hungUp = wait == Wait::HungUp;
                    continue;
                }
            }
            errorNumber = error;
            failed = true;
            return false;
        }
        return true;
    }

    bool advance(qint64 units) override
    {
        m_done += units;
        const qint64 total = m_save.m_content.units;
        const int permille = total > 0 ? int(std::min<qint64>(m_done * 1000 / total, 1000)) : 0;
        if (permille != m_permille) {
            m_permille = permille;
            QMetaObject::invokeMethod(
                &m_save, [save = &m_save, permille] { emit save->progressed(permille); },
                Qt::QueuedConnection);
        }
        return !m_save.m_cancelled;
    }

    bool failed = false;
    int errorNumber = 0;

private:
    FileSave& m_save;
    QFileDevice& m_file;
    bool m_hungUp = false;
    qint64 m_done = 0;
    int m_permille = 0;
};

FileSave::FileSave(QString path, SaveContent content, QObject* parent)
    : QObject(parent)
    , m_path(std::move(path))
    , m_content(std::move(content))
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

FileSave::~FileSave()
{
    cancel();
    if (m_thread.joinable())
        m_thread.join();
#ifdef Q_OS_UNIX
    for (const int fd : {m_wakeRead, m_wakeWrite}) {
        if (fd >= 0)
            ::close(fd);
    }
#endif
}

void FileSave::cancel()
{
    m_cancelled = true;
#ifdef Q_OS_UNIX
    // One byte is enough to wake a waiting save; a full wake pipe has one already.
    const char wake = 1;
    if (m_wakeWrite >= 0 && ::write(m_wakeWrite, &wake, 1) < 0) {
    }
#endif
}

FileSave::Wait FileSave::waitUntilWritable(int descriptor)
{
#ifdef Q_OS_UNIX
    pollfd watched[2] = {{descriptor, POLLOUT, 0}, {m_wakeRead, POLLIN, 0}};
    const nfds_t count = m_wakeRead >= 0 ? 2 : 1;
    while (!m_cancelled) {
        if (::poll(watched, count, -1) < 0) {
            if (errno == EINTR)
                continue;
            errno = EAGAIN;
            return Wait::Failed;
        }
        if (m_cancelled)
            break;
        if (watched[0].revents & POLLOUT)
            return Wait::Writable;
        // A reader gone, a line hung up: the next write tells which.
        if (watched[0].revents != 0)
            return Wait::HungUp;
        if (count == 2 && watched[1].revents != 0)
            break;
    }
    return Wait::Cancelled;
#else
    Q_UNUSED(descriptor);
    errno = EAGAIN;
    return Wait::Failed;
#endif
}

void FileSave::start()
{
    m_thread = std::thread([this] { run(); });
}

void FileSave::run()
{
    holdWriteSignals();
    Outcome outcome = Outcome::Saved;
    QString reason;
    const QFileInfo target(m_path);
    const QString folder = target.absolutePath();
    const auto fail = [&](const QString& why) {
        outcome = Outcome::Failed;
        reason = why;
    };

    if (target.isDir()) {
        fail(QStringLiteral("es una carpeta"));
    } else if (!QFileInfo(folder).isDir()) {
        fail(QStringLiteral("la carpeta no existe"));
    } else {
        const bool isPipe = isNamedPipe(m_path);
        int errorNumber = 0;
        std::unique_ptr<QFileDevice> file;
        QSaveFile* replacing = nullptr;
        if (target.exists() && !target.isFile()) {
            file = openInPlace(m_path, errorNumber);
        } else {
            auto saveFile = std::make_unique<QSaveFile>(m_path);
            errno = 0;
            if (!saveFile->open(QIODevice::WriteOnly))
                errorNumber = errno;
            replacing = saveFile.get();
            file = std::move(saveFile);
        }

        if (!file->isOpen()) {
            fail(fileFailureReason(*file, errorNumber, folder, isPipe));
        } else {
            Sink sink(*this, *file);
            const bool written = !m_content.writeTo || m_content.writeTo(sink);
            if (sink.failed) {
                fail(fileFailureReason(*file, sink.errorNumber, folder, isPipe));
            } else if (m_cancelled || !written) {
                outcome = Outcome::Cancelled;
            } else {
                errno = 0;
                const bool done = replacing ? replacing->commit() : file->flush();
                if (!done)
                    fail(fileFailureReason(*file, errno, folder, isPipe));
            }
        }
        file.reset(); // a save file not committed is removed, the target left as it was
    }

    QMetaObject::invokeMethod(
        this,
        [this, outcome, reason] {
            if (m_thread.joinable())
                m_thread.join();
            emit finished(outcome, reason);
        },
        Qt::QueuedConnection);
}

QString saveFailureText(const QString& path, const QString& reason)
{
    return QStringLiteral("No se pudo guardar %1: %2.").arg(quoted(path), reason);
}

FileSave* saveWithProgress(QWidget* parent, const QString& path, SaveContent content,
                           OperatorMessages& messages)
{
    auto* save = new FileSave(path, std::move(content), parent);
    auto* progress = new QProgressDialog(QStringLiteral("Guardando %1…").arg(quoted(path)),
                                         QStringLiteral("Cancelar"), 0, 1000, parent);
    progress->setWindowTitle(QCoreApplication::applicationName());
    progress->setAutoReset(false);
    progress->setAutoClose(false);
    progress->setMinimumDuration(kProgressDelayMs);
    progress->setValue(0);
    QObject::connect(save, &FileSave::progressed, progress, &QProgressDialog::setValue);
    QObject::connect(progress, &QProgressDialog::canceled, save, &FileSave::cancel);
    QObject::connect(save, &FileSave::finished, save,
                     [save, progress = QPointer<QProgressDialog>(progress),
                      &messages](FileSave::Outcome outcome, const QString& reason) {
                         delete progress.data();
                         const QString target = save->path();
                         save->deleteLater();
                         if (outcome == FileSave::Outcome::Failed)
                             messages.show(errorMessageText(saveFailureText(target, reason)),
                                           MessageIcon::Critical);
                     });
    save->start();
    return save;
}
