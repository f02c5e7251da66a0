// A flood longer than any buffer on the way: past the record's compression backlog bound the
// window stops reading, and TCP holds the peer back, so the rate is what the window and the
// compressor together sustain.

#include "SustainedFlood.h"

#include "BenchSupport.h"

#include "app/ServerFrm.h"
#include "app/ServerFrmControls.h"
#include "codes/CodeList.h"
#include "record/SessionRecord.h"
#include "support/peers/LinePeer.h"
#include "support/peers/Loopback.h"
#include "views/LogPane.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <functional>

qint64 bytesNotAsSent(const SessionRecord& record, qint64 fromRow, qint64 total,
                      const PeerStream& stream)
{
    qint64 offset = 0;
    qint64 differing = 0;
    QByteArray sent;
    record.snapshot().forEachCodeRow(
        [&](const CodeRowEntry& row) {
            if (row.link != Link::Server)
                return true;
            sent.resize(row.bytes.size());
            stream.fill(offset, sent.data(), sent.size());
            if (QByteArrayView(sent) != row.bytes)
                differing += row.bytes.size();
            offset += row.bytes.size();
            return true;
        },
        fromRow);
    return differing + std::abs(total - offset);
}

SustainedFloodRun sustainedTcpFlood(ServerFrm& w, qint64 total, const PeerStream& stream,
                                    FloodCheck check)
{
    SustainedFloodRun run;
    SessionRecord& record = w.sessionRecord();
    const quint16 port = freeTcpPort();
    w.controls().txtPort->setText(QString::number(port));
    w.controls().bntListen->click();
    const qint64 baseRows = w.codeList().rowCount();
    const qint64 base = w.codeList().rows().byteCount();
    const qint64 logged = w.controls().Text3->length();
    const int fd = connectToLoopback(port);
    if (fd < 0)
        return run;
    LinePeer peer(fd, LinePeer::Kind::Socket, stream);
    const auto failed = [&] {
        return !peer.failure().isEmpty();
    };
    if (!runUntil([&] { return failed() || w.controls().Text3->length() > logged; }, 10'000))
        return run;

    // The backlog peaks right after a read: the handler has just sealed blocks.
    qint64 peak = 0;
    const auto connection = QObject::connect(w.Winsock1.get(), &SocketControl::dataArrival,
                                             [&] { peak = std::max(peak, record.backlogBytes()); });
    QElapsedTimer clock;
    clock.start();
    peer.send(total);
    const bool arrived = runUntil(
        [&] { return failed() || w.codeList().rows().byteCount() - base >= total; }, 600'000);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    QObject::disconnect(connection);
    peer.finish();
    runUntil([&] { return peer.ended(); }, 10'000);
    if (!arrived || failed())
        return run;

    run.megabytesPerSecond = double(total) / double(1 << 20) / seconds;
    run.peakBacklogMegabytes = double(peak) / double(1 << 20);
    run.firstRow = baseRows;
    run.lost = check == FloodCheck::Now ? bytesNotAsSent(record, baseRows, total, stream) : 0;
    run.ok = run.lost == 0;
    return run;
}
