#include "support/Network.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "views/LogPane.h"

bool haveLoopback(const QHostAddress& address)
{
    QTcpServer probe;
    return probe.listen(address, 0);
}

EchoServer::EchoServer(const QHostAddress& address)
{
    listen(address, 0);
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* peer = nextPendingConnection()) {
            ++connections;
            last = peer;
            connect(peer, &QIODevice::readyRead, peer, [peer] { peer->write(peer->readAll()); });
        }
    });
}

void StandInNameServer::ask(const QString& name, Answer answer)
{
    asked.append(name);
    m_answer = std::move(answer);
}

void StandInNameServer::answer(const QList<QHostAddress>& addresses)
{
    std::exchange(m_answer, {})(addresses);
}

std::unique_ptr<QTcpSocket> connectPeer(WindowUnderTest& w, quint16 port, const QHostAddress& from)
{
    auto peer = std::make_unique<QTcpSocket>();
    const qint64 before = w.ui->Text3->length();
    peer->connectToHost(from, port);
    if (!peer->waitForConnected(5000))
        return nullptr;
    if (!QTest::qWaitFor([&] { return w.ui->Text3->length() > before; }, 5000))
        return nullptr;
    return peer;
}

void connectClient(WindowUnderTest& w, const QString& host, quint16 port)
{
    QTest::mouseClick(w.ui->Option1, Qt::LeftButton);
    w.ui->txtIP->setText(host);
    w.ui->txtPort2->setText(QString::number(port));
    QTest::mouseClick(w.ui->bntConnect, Qt::LeftButton);
}

void connectTo(WindowUnderTest& w, quint16 port, const QString& host)
{
    connectClient(w, host, port);
    QTRY_VERIFY(w.ui->Text4->text().endsWith(QStringLiteral("Conectado a %1\r\n").arg(host)));
}
