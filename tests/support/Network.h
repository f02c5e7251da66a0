#pragma once

#include "net/QtSocketControl.h"
#include "support/WindowUnderTest.h"

#include <QHostAddress>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

// Whether this machine can listen on the given loopback address ("::1" where IPv6 is off
// cannot): tests of that address skip otherwise.
bool haveLoopback(const QHostAddress& address);

// A loopback TCP server that sends back whatever it receives, and counts its connections.
class EchoServer : public QTcpServer {
public:
    explicit EchoServer(const QHostAddress& address = QHostAddress::LocalHost);
    int connections = 0;
    QPointer<QTcpSocket> last;
};

// A name server that answers when the test says so; until then the question waits.
class StandInNameServer final : public NameServer {
public:
    void ask(const QString& name, Answer answer) override;
    void forget() override { m_answer = {}; }
    void answer(const QList<QHostAddress>& addresses);
    QStringList asked;

private:
    Answer m_answer;
};

// A peer connected to the window's server, once the window has logged it; null if it never is.
std::unique_ptr<QTcpSocket> connectPeer(WindowUnderTest& w, quint16 port,
                                        const QHostAddress& from = QHostAddress::LocalHost);

// Chooses TCP, types host and port into "CLIENTE" and clicks "Conectar".
void connectClient(WindowUnderTest& w, const QString& host, quint16 port);
// The same, then waits until the client pane says it is connected.
void connectTo(WindowUnderTest& w, quint16 port, const QString& host = QStringLiteral("127.0.0.1"));
