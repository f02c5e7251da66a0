#include "serial/QtSerialControl.h"

#include "platform/ControlError.h"
#include "platform/SingleByteCodec.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <cerrno>
#include <utility>

#ifdef Q_OS_UNIX
#include <termios.h>
#include <unistd.h>
#endif

namespace {

QString parityName(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::EvenParity:
        return QStringLiteral("par");
    case QSerialPort::OddParity:
        return QStringLiteral("impar");
    case QSerialPort::MarkParity:
        return QStringLiteral("marca");
    case QSerialPort::SpaceParity:
        return QStringLiteral("espacio");
    default:
        return QStringLiteral("ninguna");
    }
}

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

} // namespace

bool QtSerialControl::mayReadAndWrite(const QString& device)
{
#ifdef Q_OS_UNIX
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0)
        return true;
    return errno != EACCES && errno != EPERM;
#else
    Q_UNUSED(device);
    return true;
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
    connect(&m_port, &QIODevice::readyRead, this, &QtSerialControl::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialControl::onError);
}

QtSerialControl::~QtSerialControl()
{
    close();
    m_port.disconnect(this);
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
    if (m_port.isOpen()) {
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

    m_port.setPortName(systemLocation);
    m_port.setBaudRate(m_line.baudRate);
    m_port.setDataBits(m_line.dataBits);
    m_port.setParity(m_line.parity);
    m_port.setStopBits(m_line.stopBits);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite))
        refuseOpen(port, device);
    applyParityExactly(port);

    discardInput();
    m_loss.clear();
    m_openPort = port;
}

void QtSerialControl::refuseOpen(const QString& port, const QString& device)
{
    switch (m_port.error()) {
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
                .arg(port, m_settings, m_port.errorString()));
    default:
        throw ControlError(
            QStringLiteral("No se pudo abrir el puerto %1 (%2).").arg(port, m_port.errorString()));
    }
}

// Qt sets CMSPAR for mark and space parity but never clears it for the others, so a line
// left in mark or space (by another program, or by this one before) would run odd or even
// parity as mark or space. The parity applied is made the one asked for, and a driver that
// cannot do mark or space is told, rather than silently running odd or even instead.
void QtSerialControl::applyParityExactly(const QString& port)
{
#if defined(Q_OS_UNIX) && defined(CMSPAR)
    const bool stick =
        m_line.parity == QSerialPort::MarkParity || m_line.parity == QSerialPort::SpaceParity;
    termios line{};
    if (::tcgetattr(m_port.handle(), &line) != 0 || bool(line.c_cflag & CMSPAR) == stick)
        return;
    if (stick)
        line.c_cflag |= CMSPAR;
    else
        line.c_cflag &= ~tcflag_t(CMSPAR);
    termios applied{};
    if (::tcsetattr(m_port.handle(), TCSANOW, &line) != 0 ||
        ::tcgetattr(m_port.handle(), &applied) != 0 || bool(applied.c_cflag & CMSPAR) != stick) {
        m_port.close();
        throw ControlError(QStringLiteral("El puerto %1 no admite la paridad %2 que pide la "
                                          "configuración «%3».")
                               .arg(port, parityName(m_line.parity), m_settings));
    }
#else
    Q_UNUSED(port);
#endif
}

void QtSerialControl::close()
{
    if (m_port.isOpen()) {
        m_closing = true;
        // What was handed over still goes out, unless the line is stuck.
        const QDeadlineTimer deadline(kDrainMs);
        while (m_port.bytesToWrite() > 0 && !deadline.hasExpired() &&
               m_port.waitForBytesWritten(int(deadline.remainingTime()))) {
        }
        if (m_port.isOpen())
            m_port.close();
        m_closing = false;
    }
    m_openPort.clear();
    m_loss.clear();
    discardInput();
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
    if (!m_port.isOpen()) {
        throw ControlError(QStringLiteral("No se puede enviar: el puerto %1 está cerrado. "
                                          "Ábralo con «Conectar».")
                               .arg(m_numbering.describe(m_commPort)));
    }
    const QByteArray bytes = SingleByteCodec::toBytes(text);
    if (m_port.write(bytes) != bytes.size()) {
        throw ControlError(QStringLiteral("No se pudo enviar por el puerto %1 (%2).")
                               .arg(m_openPort, m_port.errorString()));
    }
}

QByteArray QtSerialControl::input()
{
    qsizetype count = waiting();
    if (m_inputLen > 0)
        count = std::min<qsizetype>(count, m_inputLen);
    const QByteArray chunk = m_received.mid(m_readPosition, count);
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
    take(m_port.readAll());
}

void QtSerialControl::onError(QSerialPort::SerialPortError error)
{
    if (m_closing || !m_port.isOpen())
        return; // a refused open is told by open() itself
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError &&
        error != QSerialPort::WriteError)
        return;
    // The device has gone. Qt 6.4 keeps reporting a vanished pseudo-terminal many thousand
    // times a second while the port stays open: the port is closed here, at the first report.
    take(m_port.readAll());
    m_port.close();
    m_loss = QStringLiteral("Se perdió la comunicación con el puerto %1: el dispositivo se "
                            "desconectó o dejó de responder. El puerto quedó cerrado; cuando el "
                            "dispositivo vuelva, pulse «Conectar».")
                 .arg(m_openPort);
    m_openPort.clear();
    scheduleDelivery();
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
        emit onComm();
        if (!delivering.control)
            return;
    }
    m_delivering = false;
    if (waiting() == 0)
        m_owed = 0;
    if (!more && !m_loss.isEmpty())
        emit failed(std::exchange(m_loss, QString()));
}
