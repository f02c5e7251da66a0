#include "serial/NativeLine.h"

#include <cerrno>
#include <cstring>

#if defined(QUORVANE_TERMIOS) && defined(Q_OS_LINUX)
#include "serial/LineSpeed.h"
#endif

#if defined(Q_OS_WIN) && !defined(QUORVANE_PORTABLE)
#include <qt_windows.h>
#endif

#ifdef QUORVANE_TERMIOS

void requestLine(termios& line, QSerialPort::Parity parity)
{
#ifdef CMSPAR
    if (parity == QSerialPort::MarkParity || parity == QSerialPort::SpaceParity)
        line.c_cflag |= CMSPAR;
    else
        line.c_cflag &= ~tcflag_t(CMSPAR);
#else
    Q_UNUSED(parity);
#endif
    // Checked and marked whatever the parity: without a parity bit, a framing error (a byte
    // at the wrong speed) is still marked.
    line.c_iflag |= INPCK | PARMRK;
    line.c_iflag &= ~tcflag_t(IGNPAR | ISTRIP);
}

LineSettings runningLine(const termios& line, qint32 baudRate)
{
    LineSettings running;
    running.baudRate = baudRate;
    switch (line.c_cflag & CSIZE) {
    case CS5:
        running.dataBits = QSerialPort::Data5;
        break;
    case CS6:
        running.dataBits = QSerialPort::Data6;
        break;
    case CS7:
        running.dataBits = QSerialPort::Data7;
        break;
    default:
        running.dataBits = QSerialPort::Data8;
        break;
    }
    const bool odd = line.c_cflag & PARODD;
#ifdef CMSPAR
    const bool stick = line.c_cflag & CMSPAR;
#else
    const bool stick = false;
#endif
    if (!(line.c_cflag & PARENB))
        running.parity = QSerialPort::NoParity;
    else if (stick)
        running.parity = odd ? QSerialPort::MarkParity : QSerialPort::SpaceParity;
    else
        running.parity = odd ? QSerialPort::OddParity : QSerialPort::EvenParity;
    running.stopBits = (line.c_cflag & CSTOPB) ? QSerialPort::TwoStop : QSerialPort::OneStop;
    return running;
}

NativeLine applyNativeLine(PortHandle handle, const LineSettings& asked)
{
    NativeLine result;
    termios line{};
    if (::tcgetattr(handle, &line) != 0) {
        result.failure = QString::fromLocal8Bit(std::strerror(errno));
        return result;
    }
    requestLine(line, asked.parity);
    termios applied{};
    if (::tcsetattr(handle, TCSANOW, &line) != 0 || ::tcgetattr(handle, &applied) != 0) {
        result.failure = QString::fromLocal8Bit(std::strerror(errno));
        return result;
    }
#if defined(Q_OS_LINUX)
    const long long speed = linuxOutputSpeed(handle);
#else
    // Elsewhere the speed constants are the rates themselves.
    const long long speed = ::cfgetospeed(&applied);
#endif
    result.running = runningLine(applied, speed > 0 ? qint32(speed) : 0);
    result.marksErrors = (applied.c_iflag & PARMRK) && !(applied.c_iflag & ISTRIP);
    return result;
}

QByteArray terminalSettings(int descriptor)
{
#if defined(Q_OS_LINUX)
    return linuxTerminal(descriptor);
#else
    termios line{};
    if (::tcgetattr(descriptor, &line) != 0)
        return QByteArray();
    return QByteArray(reinterpret_cast<const char*>(&line), sizeof line);
#endif
}

void setTerminalSettings(int descriptor, const QByteArray& settings)
{
#if defined(Q_OS_LINUX)
    setLinuxTerminal(descriptor, settings);
#else
    termios line{};
    if (settings.size() != qsizetype(sizeof line))
        return;
    std::memcpy(&line, settings.constData(), sizeof line);
    ::tcsetattr(descriptor, TCSANOW, &line);
#endif
}

#elif defined(Q_OS_WIN) && !defined(QUORVANE_PORTABLE)

NativeLine applyNativeLine(PortHandle handle, const LineSettings& asked)
{
    NativeLine result;
    DCB line{};
    line.DCBlength = sizeof line;
    if (!::GetCommState(handle, &line)) {
        result.failure = QStringLiteral("error %1 de Windows").arg(::GetLastError());
        return result;
    }
    line.fParity = asked.parity != QSerialPort::NoParity;
    line.fErrorChar = TRUE;
    line.ErrorChar = '?';
    line.fNull = FALSE;
    // Set here too: a DCB written back must not undo the modem lines.
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fRtsControl = RTS_CONTROL_DISABLE;
    DCB applied{};
    applied.DCBlength = sizeof applied;
    if (!::SetCommState(handle, &line) || !::GetCommState(handle, &applied)) {
        result.failure = QStringLiteral("error %1 de Windows").arg(::GetLastError());
        return result;
    }
    LineSettings& running = result.running;
    running.baudRate = qint32(applied.BaudRate);
    running.dataBits = QSerialPort::DataBits(applied.ByteSize);
    switch (applied.Parity) {
    case ODDPARITY:
        running.parity = QSerialPort::OddParity;
        break;
    case EVENPARITY:
        running.parity = QSerialPort::EvenParity;
        break;
    case MARKPARITY:
        running.parity = QSerialPort::MarkParity;
        break;
    case SPACEPARITY:
        running.parity = QSerialPort::SpaceParity;
        break;
    default:
        running.parity = QSerialPort::NoParity;
        break;
    }
    switch (applied.StopBits) {
    case ONE5STOPBITS:
        running.stopBits = QSerialPort::OneAndHalfStop;
        break;
    case TWOSTOPBITS:
        running.stopBits = QSerialPort::TwoStop;
        break;
    default:
        running.stopBits = QSerialPort::OneStop;
        break;
    }
    return result;
}

#else

// Only what Qt offers: the settings asked of it, as it answers them.
NativeLine applyNativeLine(PortHandle, const LineSettings& asked)
{
    NativeLine result;
    result.running = asked;
    return result;
}

#endif
