#include "support/PseudoTerminal.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
        qFatal("no pseudo-terminal for the test");
    m_device = QString::fromLocal8Bit(name);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    m_readable = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readable, &QSocketNotifier::activated, this, [this] {
        char buffer[4096];
        ssize_t got;
        while ((got = ::read(m_master, buffer, sizeof buffer)) > 0)
            received.append(buffer, got);
    });
    m_writable = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writable->setEnabled(false);
    connect(m_writable, &QSocketNotifier::activated, this, &PseudoTerminal::flush);
}

PseudoTerminal::~PseudoTerminal()
{
    vanish();
    ::close(m_slave);
}

void PseudoTerminal::write(const QByteArray& bytes)
{
    m_pending += bytes;
    flush();
}

void PseudoTerminal::flush()
{
    ssize_t written;
    while (m_master >= 0 && !m_pending.isEmpty() &&
           (written = ::write(m_master, m_pending.constData(), size_t(m_pending.size()))) > 0)
        m_pending.remove(0, written);
    if (m_writable)
        m_writable->setEnabled(!m_pending.isEmpty());
}

void PseudoTerminal::setReading(bool reading)
{
    if (m_readable)
        m_readable->setEnabled(reading);
}

qsizetype PseudoTerminal::unread() const
{
    int waiting = 0;
    if (m_master < 0 || ::ioctl(m_master, FIONREAD, &waiting) != 0)
        return 0;
    return waiting;
}

void PseudoTerminal::vanish()
{
    if (m_master < 0)
        return;
    delete m_readable;
    delete m_writable;
    m_readable = m_writable = nullptr;
    ::close(m_master);
    m_master = -1;
}
