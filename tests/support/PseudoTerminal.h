#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

// A pseudo-terminal pair standing in for a serial device: the program opens the slave side as
// its port; the test plays the other end of the line through the master. The test keeps a
// slave descriptor open too, so line settings outlive the program's closes as a real UART's
// do, and can be read back (termios) through it.
class PseudoTerminal : public QObject {
    Q_OBJECT

public:
    PseudoTerminal();
    ~PseudoTerminal() override;

    const QString& device() const { return m_device; }
    int slaveDescriptor() const { return m_slave; }

    // Sent down the line in order, as fast as the line takes it.
    void write(const QByteArray& bytes);
    // Everything the program has sent.
    QByteArray received;
    // The other end stops reading (the line backs up) or reads again.
    void setReading(bool reading);
    // Sent by the program and not yet read here.
    qsizetype unread() const;

    // The other end goes away, as when a USB adapter is pulled out.
    void vanish();

private:
    void flush();

    int m_master = -1;
    int m_slave = -1;
    QString m_device;
    QByteArray m_pending;
    QSocketNotifier* m_readable = nullptr;
    QSocketNotifier* m_writable = nullptr;
};
