#include "serial/QtSerialControl.h"

#include "base/ControlError.h"
#include "base/SingleByteCodec.h"
#include "serial/NativeLine.h"

#include <QCursor>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>

#include <array>
#include <cerrno>
#include <chrono>
#include <utility>

// POSIX finishes a closed port's output on a thread of its own, from a duplicate of its
// descriptor; elsewhere, and in the portable build, QSerialPort itself is kept open until its
// output is out (QtSerialDrain), which checks less.
#if defined(Q_OS_UNIX) && !defined(QUORVANE_PORTABLE)
#define QUORVANE_POSIX_SERIAL 1
#include "serial/SerialDrain.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#else
#include "serial/QtSerialDrain.h"
#endif

namespace {

QString notFound(const QString& port)
{
    return QStringLiteral("No se encontró el puerto %1: el dispositivo no existe. Compruebe que "
                          "esté conectado y que el número de puerto sea el correcto.")
        .arg(port);
}

QString busy(const QString& port)
{
    return QStringLiteral("El puerto %1 está ocupado: otro programa, u otra ventana, lo tiene "
                          "abierto. Ciérrelo allí y vuelva a pulsar «Conectar».")
        .arg(port);
}

QString permissionDenied(const QString& port, const QString& device)
{
    QString group = QFileInfo(device).group();
    if (group.isEmpty() || group == u"root")
        group = QStringLiteral("dialout");
    return QStringLiteral("No hay permiso para abrir el puerto %1. El usuario debe pertenecer al "
                          "grupo «%2», dueño del dispositivo (en Debian, «dialout»): agréguelo "
                          "a ese grupo y vuelva a iniciar la sesión.")
        .arg(port, group);
}

bool outputStillDraining(const QString& device)
{
#ifdef QUORVANE_POSIX_SERIAL
    return SerialDrain::busy(device);
#else
    return QtSerialDrain::busy(device);
#endif
}

} // namespace

bool QtSerialControl::mayReadAndWrite(const QString& device)
{
#ifdef QUORVANE_POSIX_SERIAL
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0)
        return true;
    return errno != EACCES && errno != EPERM;
#else
    // What Qt can tell: a device that is there but not readable and writable by this user.
    const QFileInfo info(device);
    return !info.exists() || (info.isReadable() && info.isWritable());
#endif
}

QtSerialControl::QtSerialControl(SerialPortNumbering numbering, AccessCheck mayOpen,
                                 QObject* parent)
    : SerialControl(parent)
    , m_numbering(std::move(numbering))
    , m_mayOpen(std::move(mayOpen))
{
    m_deliveryTimer.setSingleShot(true);
    m_deliveryTimer.setInterval(0);
    connect(&m_deliveryTimer, &QTimer::timeout, this, &QtSerialControl::deliver);
    attachPort();
}

// A fresh QSerialPort, wired to the control: at start, and after a close handed the old one
// over to finish its output.
void QtSerialControl::attachPort()
{
    m_port = std::make_unique<QSerialPort>();
    connect(m_port.get(), &QIODevice::readyRead, this, &QtSerialControl::onReadyRead);
    connect(m_port.get(), &QSerialPort::errorOccurred, this, &QtSerialControl::onError);
    connect(m_port.get(), &QSerialPort::bytesWritten, this, [this](qint64 bytes) {
        const qint64 unsent = m_port->bytesToWrite();
        if (m_sent.size() > unsent)
            m_sent.remove(0, m_sent.size() - unsent);
        // What was handed to the driver goes out at the line's speed, after what came before.
        const auto now = std::chrono::steady_clock::now();
        m_lineFreeAt = std::max(m_lineFreeAt, now) +
                       std::chrono::milliseconds(bytes * m_line.bitsPerCharacter() * 1000 /
                                                 std::max<qint32>(m_line.baudRate, 1));
    });
}

QtSerialControl::~QtSerialControl()
{
    close();
    m_port->disconnect(this);
}

// --- properties --------------------------------------------------------------------------

void QtSerialControl::setSettings(const QString& settings)
{
    m_line = LineSettings::parse(settings);
    m_settings = settings;
}

void QtSerialControl::setCommPort(std::int16_t port)
{
    // Refused here rather than at the open, so a mistyped number leaves an open port alone.
    if (m_numbering.deviceFor(port).isEmpty()) {
#ifdef Q_OS_WIN
        throw ControlError(
            QStringLiteral("El número de puerto %1 no es válido: debe ser 1 o mayor.").arg(port));
#else
        throw ControlError(
            QStringLiteral("El número de puerto %1 no corresponde a ningún dispositivo: use 1 a 99 "
                           "(ttyS0 a ttyS98), 100 a 199 (ttyUSB0 a ttyUSB99), 200 a 299 (ttyACM0 "
                           "a ttyACM99), o cree el alias %2/com%1 para el dispositivo.")
                .arg(port)
                .arg(m_numbering.deviceDirectory()));
#endif
    }
    m_commPort = port;
}

void QtSerialControl::setInputLen(std::int16_t length)
{
    if (length < 0) {
        throw ControlError(QStringLiteral("La longitud de lectura %1 no es válida: debe ser 0 "
                                          "(todo lo recibido) o mayor.")
                               .arg(length));
    }
    m_inputLen = length;
}

void QtSerialControl::setInputMode(std::int32_t mode)
{
    if (mode != 0 && mode != 1) {
        throw ControlError(
            QStringLiteral("El modo de lectura %1 no existe: use 0 (texto) o 1 (binario).")
                .arg(mode));
    }
    m_inputMode = mode;
}

void QtSerialControl::setRThreshold(std::int16_t threshold)
{
    if (threshold < 0) {
        throw ControlError(
            QStringLiteral("El umbral de recepción %1 no es válido: debe ser 0 o mayor.")
                .arg(threshold));
    }
    m_rThreshold = threshold;
    if (m_rThreshold > 0 && waiting() > 0) {
        m_owed = std::max<qint64>(m_owed, waiting());
        scheduleDelivery();
    }
}

void QtSerialControl::setSThreshold(std::int16_t threshold)
{
    if (threshold < 0) {
        throw ControlError(QStringLiteral("El umbral de envío %1 no es válido: debe ser 0 o mayor.")
                               .arg(threshold));
    }
    m_sThreshold = threshold;
}

void QtSerialControl::setPortOpen(bool open)
{
    if (open)
        this->open();
    else
        close();
}

// --- open and close ----------------------------------------------------------------------

void QtSerialControl::open()
{
    if (m_port->isOpen()) {
        throw ControlError(QStringLiteral("El puerto %1 ya está abierto.").arg(m_openPort));
    }
    const QString port = m_numbering.describe(m_commPort);
    const QString device = m_numbering.deviceFor(m_commPort);
    if (device.isEmpty())
        setCommPort(m_commPort); // tells why the number names no device

#ifdef Q_OS_WIN
    const QString systemLocation = device;
#else
    const QFileInfo info(device);
    if (!info.exists())
        throw ControlError(notFound(port));
    if (!m_mayOpen(device))
        throw ControlError(permissionDenied(port, info.canonicalFilePath()));
    // The device under its real name, so that the lock Qt takes on it holds whichever alias
    // opened it.
    const QString systemLocation = info.canonicalFilePath();
#endif
    waitForDrain(systemLocation, port);

    m_port->setPortName(systemLocation);
    m_port->setBaudRate(m_line.baudRate);
    m_port->setDataBits(m_line.dataBits);
    m_port->setParity(m_line.parity);
    m_port->setStopBits(m_line.stopBits);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port->open(QIODevice::ReadWrite))
        refuseOpen(port, device);
    // Opening a terminal raises both lines; RTS goes down at once. A device without modem
    // lines (a pseudo-terminal) refuses both, which changes nothing for its line.
    m_port->setDataTerminalReady(true);
    m_port->setRequestToSend(false);
    m_port->clearError();
    applyLine(port);

    discardInput();
    m_decoder.reset();
    m_wrote = false;
    m_sent.clear();
    m_lineFreeAt = {};
    m_loss.clear();
    m_openPort = port;
    m_openDevice = systemLocation;
    emit portOpenChanged(true);
}

void QtSerialControl::refuseOpen(const QString& port, const QString& device)
{
    switch (m_port->error()) {
    case QSerialPort::DeviceNotFoundError:
        throw ControlError(notFound(port));
    case QSerialPort::PermissionError:
        if (!m_mayOpen(device))
            throw ControlError(permissionDenied(port, QFileInfo(device).canonicalFilePath()));
        throw ControlError(busy(port));
    case QSerialPort::UnsupportedOperationError:
        throw ControlError(
            QStringLiteral("El puerto %1 no acepta la configuración «%2», o no es un "
                           "puerto serie (%3).")
                .arg(port, m_settings, m_port->errorString()));
    default:
        throw ControlError(
            QStringLiteral("No se pudo abrir el puerto %1 (%2).").arg(port, m_port->errorString()));
    }
}

// The line the device runs, read back from it, must be the one asked for.
void QtSerialControl::applyLine(const QString& port)
{
    const NativeLine line = applyNativeLine(m_port->handle(), m_line);
    QString refusal;
    if (!line.failure.isEmpty()) {
        refusal =
            QStringLiteral("No se pudo configurar el puerto %1 (%2).").arg(port, line.failure);
    } else if (const QString differences = m_line.differencesFrom(line.running);
               !differences.isEmpty()) {
        refusal = QStringLiteral("El puerto %1 no acepta la configuración %2: %3. El puerto quedó "
                                 "cerrado.")
                      .arg(port, quoted(m_settings), differences);
    }
    if (!refusal.isEmpty()) {
        m_port->close();
        throw ControlError(refusal);
    }
    m_marking = line.marksErrors;
}

// Opening a device whose output is still being finished waits for the end of it; the window
// goes on meanwhile, except for the operator's input, which is taken afterwards in order.
void QtSerialControl::waitForDrain(const QString& device, const QString& port)
{
    if (!outputStillDraining(device))
        return;
    QEventLoop loop;
    QTimer check;
    check.setInterval(5);
    connect(&check, &QTimer::timeout, &loop, [&] {
        if (!outputStillDraining(device))
            loop.quit();
    });
    check.start();
    const bool cursor = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (cursor)
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (cursor)
        QGuiApplication::restoreOverrideCursor();
    // Only the program's end stops the wait early.
    if (outputStillDraining(device)) {
        throw ControlError(QStringLiteral("El puerto %1 todavía está terminando de enviar lo "
                                          "pendiente; vuelva a pulsar «Conectar» en un momento.")
                               .arg(port));
    }
}

void QtSerialControl::close()
{
    const bool wasOpen = m_port->isOpen();
    if (wasOpen) {
        m_closing = true;
        if (m_wrote)
            handOverPendingOutput();
        if (m_port->isOpen())
            m_port->close();
        m_closing = false;
    }
    m_wrote = false;
    m_sent.clear();
    m_decoder.reset();
    m_openPort.clear();
    m_openDevice.clear();
    m_loss.clear();
    discardInput();
    if (wasOpen)
        emit portOpenChanged(false);
}

// What was sent still goes out, within the time its bytes need at the line's speed, but
// without the window waiting for it. The device stays reserved to this program meanwhile.
void QtSerialControl::handOverPendingOutput()
{
#ifdef QUORVANE_POSIX_SERIAL
    // After the port is closed, on another thread.
    const int descriptor = ::fcntl(m_port->handle(), F_DUPFD_CLOEXEC, 0);
    if (descriptor < 0)
        return; // the port is closed as it is, and the terminal finishes what it holds
    QByteArray unsent = m_sent.right(m_port->bytesToWrite());
    int queued = 0;
    ::ioctl(descriptor, TIOCOUTQ, &queued);
    const qint64 pending = unsent.size() + queued;
    const auto needs = std::chrono::milliseconds(pending * m_line.bitsPerCharacter() * 1000 /
                                                 std::max<qint32>(m_line.baudRate, 1));
    const QByteArray line = terminalSettings(descriptor);
    m_port->close();
    setTerminalSettings(descriptor, line);
#ifdef TIOCEXCL
    ::ioctl(descriptor, TIOCEXCL);
#endif
    SerialDrain::start(descriptor, std::move(unsent), m_openDevice,
                       needs + std::chrono::milliseconds(kDrainSlackMs));
#else
    // Qt's port stays open until its output is out; the control goes on with a fresh one.
    if (m_port->bytesToWrite() == 0 && m_lineFreeAt <= std::chrono::steady_clock::now())
        return;
    std::unique_ptr<QSerialPort> port = std::exchange(m_port, nullptr);
    attachPort();
    QtSerialDrain::start(std::move(port), m_openDevice, m_line, m_lineFreeAt,
                         std::chrono::milliseconds(kDrainSlackMs));
#endif
}

void QtSerialControl::discardInput()
{
    m_received.clear();
    m_readPosition = 0;
    m_owed = 0;
}

// --- output and input --------------------------------------------------------------------

void QtSerialControl::setOutput(QStringView text)
{
    if (!m_port->isOpen()) {
        throw ControlError(QStringLiteral("No se puede enviar: el puerto %1 está cerrado. "
                                          "Ábralo con «Conectar».")
                               .arg(m_numbering.describe(m_commPort)));
    }
    const QByteArray bytes = SingleByteCodec::toBytes(text);
    if (m_port->write(bytes) != bytes.size()) {
        throw ControlError(QStringLiteral("No se pudo enviar por el puerto %1 (%2).")
                               .arg(m_openPort, m_port->errorString()));
    }
    m_wrote = true;
    m_sent.append(bytes);
}

namespace {

// One character read: a shared array of its own value, so that reading one costs no
// allocation (a flood reads millions, one per notification).
QByteArray oneCharacter(char value)
{
    static const std::array<char, 256> values = [] {
        std::array<char, 256> made{};
        for (int v = 0; v < 256; ++v)
            made[std::size_t(v)] = char(v);
        return made;
    }();
    return QByteArray::fromRawData(&values[static_cast<unsigned char>(value)], 1);
}

} // namespace

QByteArray QtSerialControl::input()
{
    qsizetype count = waiting();
    if (m_inputLen > 0)
        count = std::min<qsizetype>(count, m_inputLen);
    const QByteArray chunk = count == 1 ? oneCharacter(m_received[m_readPosition])
                                        : m_received.mid(m_readPosition, count);
    m_readPosition += count;
    if (waiting() == 0)
        discardInput();
    return chunk;
}

// --- events ------------------------------------------------------------------------------

void QtSerialControl::take(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    // What was read is dropped once it is half the buffer, so the buffer stays in proportion
    // to what waits and each byte is moved at most once more.
    if (m_readPosition > 0 && m_readPosition >= m_received.size() / 2) {
        m_received.remove(0, m_readPosition);
        m_readPosition = 0;
    }
    m_received.append(bytes);
    m_owed += bytes.size();
    scheduleDelivery();
}

void QtSerialControl::onReadyRead()
{
    readArrived();
}

void QtSerialControl::readArrived()
{
    const QByteArray bytes = m_port->readAll();
    take(m_marking ? m_decoder.decode(bytes) : bytes);
}

void QtSerialControl::onError(QSerialPort::SerialPortError error)
{
    if (m_closing || !m_port->isOpen())
        return; // a refused open is told by open() itself
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError &&
        error != QSerialPort::WriteError)
        return;
    // The device has gone. Qt 6.4 keeps reporting a vanished pseudo-terminal many thousand
    // times a second while the port stays open: the port is closed here, at the first report.
    readArrived();
    m_port->close();
    m_loss = QStringLiteral("Se perdió la comunicación con el puerto %1: el dispositivo se "
                            "desconectó o dejó de responder. El puerto quedó cerrado; cuando el "
                            "dispositivo vuelva, pulse «Conectar».")
                 .arg(m_openPort);
    m_openPort.clear();
    scheduleDelivery();
    emit portOpenChanged(false);
}

void QtSerialControl::scheduleDelivery()
{
    if (!m_deliveryTimer.isActive())
        m_deliveryTimer.start();
}

void QtSerialControl::deliver()
{
    // A notification's handler may run a nested event loop (a message box): the batch it
    // interrupted goes on when it returns, so nothing is delivered inside it.
    if (m_delivering)
        return;
    // Reset however the batch ends, a receiver throwing or the control destroyed in it.
    struct Delivering {
        QPointer<QtSerialControl> control;
        ~Delivering()
        {
            if (control)
                control->m_delivering = false;
        }
    } delivering{this};
    m_delivering = true;

    bool more = false;
    int raised = 0;
    while (m_owed > 0 && m_rThreshold > 0 && waiting() >= m_rThreshold) {
        if (raised == kNotificationsPerTurn) {
            more = true;
            scheduleDelivery();
            break;
        }
        --m_owed;
        ++raised;
        raiseOnComm();
        if (!delivering.control)
            return;
    }
    m_delivering = false;
    if (waiting() == 0)
        m_owed = 0;
    if (!more && !m_loss.isEmpty())
        emit failed(std::exchange(m_loss, QString()));
}
