#include "views/FileSave.h"

#include "views/FileWrites.h"

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

namespace {

// The progress dialog waits this long before it appears: most saves are over by then.
constexpr int kProgressDelayMs = 500;

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
        if (m_save.m_writes.writeAll(m_file, bytes, errorNumber))
            return true;
        failed = errorNumber != ECANCELED;
        return false;
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
    qint64 m_done = 0;
    int m_permille = 0;
};

FileSave::FileSave(QString path, SaveContent content, QObject* parent)
    : QObject(parent)
    , m_path(std::move(path))
    , m_content(std::move(content))
{
}

FileSave::~FileSave()
{
    cancel();
    if (m_thread.joinable())
        m_thread.join();
}

void FileSave::cancel()
{
    m_cancelled = true;
    m_writes.giveUp();
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
