// A TCP flood faster than the session record compresses, through the real window on loopback:
// while the record is behind, the window reads nothing more from the connection and TCP holds
// the peer back; once the record has caught up it reads on. Memory stays bounded and no byte
// is lost. The record's bound is set to nothing here, so that every block that waits for the
// compressor holds the connection: a flood of megabytes is held and released many times.

#include "net/QtSocketControl.h"
#include "record/SessionRecord.h"
#include "support/RecordProbe.h"
#include "support/WindowUnderTest.h"
#include "support/peers/LinePeer.h"
#include "support/peers/Loopback.h"
#include "views/LogPane.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <algorithm>

namespace {

// The bytes of the rows that came by the link, in order.
QByteArray rowsOf(const SessionRecord& record, Link link)
{
    QByteArray joined;
    for (qint64 row = 0; row < record.codeRowCount(); ++row) {
        if (record.codeRowLink(row) == link)
            joined += record.codeRowBytes(row);
    }
    return joined;
}

// The descriptor of a connection from the window's client endpoint to a loopback listener, or
// -1.
int connectClient(WindowUnderTest& w, LoopbackListener& listener)
{
    QTest::mouseClick(w.ui->Option1, Qt::LeftButton);
    w.ui->txtIP->setText(QStringLiteral("127.0.0.1"));
    w.ui->txtPort2->setText(QString::number(listener.port()));
    QTest::mouseClick(w.ui->bntConnect, Qt::LeftButton);
    int fd = -1;
    return QTest::qWaitFor([&] { return (fd = listener.take()) >= 0; }, 10'000) ? fd : -1;
}

} // namespace

class TestTcpFlood : public QObject {
    Q_OBJECT

private slots:
    void readingStopsWhileTheRecordIsBehindAndNothingIsLost_data()
    {
        QTest::addColumn<Link>("link");
        QTest::newRow("server") << Link::Server;
        QTest::newRow("client") << Link::Client;
    }
    void readingStopsWhileTheRecordIsBehindAndNothingIsLost()
    {
        QFETCH(Link, link);
        WindowUnderTest w;
        SessionRecord& record = w->sessionRecord();
        RecordProbe::setBacklogBound(record, 0);
        LoopbackListener listener;
        const int fd = link == Link::Server ? connectToLoopback(listenUnderTcp(w))
                                            : connectClient(w, listener);
        QVERIFY(fd >= 0);
        SocketControl& socket = link == Link::Server ? *w->Winsock1 : *w->Winsock2;

        // Counted after the window's handler, which may itself put the record behind: a read
        // while held is one that began with the record already behind.
        qint64 reads = 0;
        qint64 heldFromRead = -1;
        qint64 readsWhileHeld = 0;
        int holds = 0;
        qint64 peakBacklog = 0;
        connect(&record, &SessionRecord::behindChanged, this, [&](bool behind) {
            heldFromRead = behind ? reads + 1 : -1;
            holds += behind ? 1 : 0;
        });
        connect(&socket, &SocketControl::dataArrival, this, [&] {
            ++reads;
            if (heldFromRead >= 0 && reads > heldFromRead)
                ++readsWhileHeld;
            peakBacklog = std::max(peakBacklog, record.backlogBytes());
        });

        const PeerStream stream(23);
        const qint64 total = qint64(24) << 20;
        LinePeer peer(fd, LinePeer::Kind::Socket, stream);
        peer.send(total);
        QTRY_COMPARE_WITH_TIMEOUT(record.codeRowBytesTotal(), total, 60'000);
        QVERIFY(holds > 1);
        QCOMPARE(readsWhileHeld, 0);
        // No more than one read's worth ever waited for the compressor.
        QVERIFY(peakBacklog <= QtSocketControl::kReadChunk + 2 * SessionRecord::kBlockSize);
        QVERIFY(rowsOf(record, link) == stream.bytes(0, total));
        QTRY_VERIFY(!record.isBehind());
        QVERIFY(w.messages->shown.empty());
    }
};

QTEST_MAIN(TestTcpFlood)
#include "tst_tcpflood.moc"
