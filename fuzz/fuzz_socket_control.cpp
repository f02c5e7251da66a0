// The socket layer fed arbitrary bytes by a peer on loopback, cut into arbitrary pieces:
// - TCP, both as a listener that accepts its peer the way the server endpoint does (close the
//   listener, accept on the same control) and as a client that connects: every byte the peer
//   sends comes out of dataArrival/GetData whole and in order; each dataArrival's bytesTotal
//   is what GetData then returns, never nothing; a peer that leaves after sending is told as
//   one peerClosed after its last byte; what the control sends back (each chunk's text)
//   reaches the peer exactly, even when this side closes right after; closing from this side
//   never raises peerClosed;
// - UDP, bound the way the server endpoint binds: each datagram, empty ones included, arrives
//   whole, in order, as a dataArrival of its own, from the peer's address; the echoes reach
//   the peer.
// No error is raised in any of this. Every address involved is the loopback's; nothing is
// looked up. The peer is the tests' own (a LinePeer or a DatagramPeer, on a thread of its own,
// sending the input's bytes as its stream). A delivery that never comes shows as libFuzzer's
// timeout.
#include "FuzzSupport.h"

#include "base/ControlError.h"
#include "base/SingleByteCodec.h"
#include "net/QtSocketControl.h"
#include "support/peers/DatagramPeer.h"
#include "support/peers/LinePeer.h"
#include "support/peers/Loopback.h"

#include <QCoreApplication>
#include <QTimer>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace {

enum class Mode { Listener, Client, Datagrams };

struct Piece {
    QByteArray bytes;
    // Wait until everything sent so far has arrived before sending more, so that the next
    // piece starts a new read.
    bool waitAfter = false;
};

// Ports this process found free; looked for again if something else takes them meanwhile.
quint16 g_tcpPort = 0;
quint16 g_udpPort = 0;
LoopbackListener* g_peerListener = nullptr; // where a client control connects to its peer

void runEventsUntil(const std::function<bool()>& done)
{
    // The peer's thread does not wake this loop: it looks again every millisecond.
    QTimer look;
    look.start(1);
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// What the control under test saw.
struct Record {
    QByteArray received;
    std::vector<QByteArray> datagrams;
    int connects = 0;
    int closes = 0;
};

void failOnError(QtSocketControl& control)
{
    QObject::connect(&control, &SocketControl::errorOccurred,
                     [](std::int16_t number, const QString& description) {
                         FUZZ_FAIL("no error on a sound loopback exchange",
                                   QString::number(number) + QStringLiteral(" ") + description);
                     });
}

bool listenOnAFreePort(QtSocketControl& control)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        try {
            control.setLocalPort(g_tcpPort);
            control.Listen();
            return true;
        } catch (const ControlError&) {
            g_tcpPort = freeTcpPort();
        }
    }
    return false;
}

void tcpExchange(Mode mode, bool echo, bool peerLeaves, const std::vector<Piece>& pieces)
{
    QByteArray all;
    for (const Piece& piece : pieces)
        all += piece.bytes;

    Record record;
    QtSocketControl control;
    failOnError(control);
    control.setProtocol(SocketControl::Tcp);
    QObject::connect(&control, &SocketControl::connectionRequest, [&](std::int32_t requestID) {
        if (control.state() != SocketControl::Closed)
            control.Close();
        control.Accept(requestID);
        FUZZ_CHECK_EQUAL(control.state(), std::int16_t(SocketControl::Connected));
        ++record.connects;
    });
    QObject::connect(&control, &SocketControl::connected, [&] { ++record.connects; });
    QObject::connect(&control, &SocketControl::dataArrival, [&](std::int32_t bytesTotal) {
        FUZZ_CHECK_EQUAL(record.connects, 1);
        FUZZ_CHECK_EQUAL(record.closes, 0);
        const QByteArray chunk = control.GetData();
        FUZZ_CHECK(bytesTotal > 0);
        FUZZ_CHECK_EQUAL(chunk.size(), qsizetype(bytesTotal));
        record.received += chunk;
        if (echo)
            control.SendData(SingleByteCodec::toText(chunk));
    });
    QObject::connect(&control, &SocketControl::peerClosed, [&] {
        ++record.closes;
        // As the endpoints do: close, and a listener listens again at once.
        control.Close();
        if (mode == Mode::Listener)
            FUZZ_CHECK(listenOnAFreePort(control));
    });

    int fd = -1;
    if (mode == Mode::Listener) {
        if (!listenOnAFreePort(control))
            return; // no port to be had: nothing to learn from this input
        fd = connectToLoopback(g_tcpPort);
        FUZZ_CHECK(fd >= 0);
    } else {
        control.setRemoteHost(QStringLiteral("127.0.0.1"));
        control.setRemotePort(g_peerListener->port());
        control.Connect();
        runEventsUntil([&] { return (fd = g_peerListener->take()) >= 0; });
    }
    LinePeer peer(fd, LinePeer::Kind::Socket, PeerStream::repeating(all));

    qsizetype sent = 0;
    const auto allReceived = [&] {
        return record.received.size() == sent;
    };
    const auto allArrived = [&] {
        return allReceived() && (!echo || peer.receivedSize() == sent);
    };
    for (const Piece& piece : pieces) {
        // The first bytes may well go out before the control has taken the connection.
        peer.send(piece.bytes.size());
        sent += piece.bytes.size();
        if (piece.waitAfter)
            runEventsUntil(allArrived);
    }
    runEventsUntil([&] { return record.connects > 0; });

    if (peerLeaves) {
        // Its echoes first: a peer that leaves with bytes still coming is reset, not closed.
        runEventsUntil(allArrived);
        peer.finish();
        runEventsUntil([&] { return record.closes > 0; });
    } else {
        // Closed with echoes perhaps still on their way: what was handed over still reaches
        // the peer before the connection ends.
        runEventsUntil(allReceived);
        control.Close();
    }
    runEventsUntil([&] { return peer.ended(); });
    QCoreApplication::processEvents();
    FUZZ_CHECK_EQUAL(peer.failure(), QString());
    FUZZ_CHECK_EQUAL(record.received, all);
    if (echo)
        FUZZ_CHECK_EQUAL(peer.received(), all);
    FUZZ_CHECK_EQUAL(record.connects, 1);
    FUZZ_CHECK_EQUAL(record.closes, peerLeaves ? 1 : 0);
}

bool bindOnAFreePort(QtSocketControl& control)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        try {
            control.Bind(QString::number(g_udpPort));
            return true;
        } catch (const ControlError&) {
            g_udpPort = freeUdpPort();
        }
    }
    return false;
}

void udpExchange(bool echo, const std::vector<Piece>& pieces)
{
    Record record;
    QtSocketControl control;
    failOnError(control);
    control.setProtocol(SocketControl::Udp);
    if (!bindOnAFreePort(control))
        return;

    QByteArray all;
    for (const Piece& piece : pieces)
        all += piece.bytes;
    DatagramPeer peer(g_udpPort, PeerStream::repeating(all));
    FUZZ_CHECK(peer.port() != 0);
    if (echo) {
        control.setRemoteHost(QStringLiteral("127.0.0.1"));
        control.setRemotePort(peer.port());
    }
    QObject::connect(&control, &SocketControl::dataArrival, [&](std::int32_t bytesTotal) {
        const QByteArray datagram = control.GetData();
        FUZZ_CHECK_EQUAL(datagram.size(), qsizetype(bytesTotal));
        FUZZ_CHECK_EQUAL(control.remoteHostIP(), QStringLiteral("127.0.0.1"));
        record.datagrams.push_back(datagram);
        if (echo)
            control.SendData(SingleByteCodec::toText(datagram));
    });

    // Loopback drops nothing while the receivers' buffers have room: a few datagrams, and at
    // most one large one, are in flight at a time.
    std::size_t sent = 0;
    qsizetype inFlight = 0;
    const auto allArrived = [&] {
        return record.datagrams.size() == sent && (!echo || peer.receivedCount() == qint64(sent));
    };
    for (const Piece& piece : pieces) {
        if (sent - record.datagrams.size() >= 8 || inFlight + piece.bytes.size() > 64 * 1024) {
            runEventsUntil(allArrived);
            inFlight = 0;
        }
        peer.send({int(piece.bytes.size())});
        ++sent;
        inFlight += piece.bytes.size();
        if (piece.waitAfter) {
            runEventsUntil(allArrived);
            inFlight = 0;
        }
    }
    runEventsUntil(allArrived);

    std::vector<QByteArray> expected;
    for (const Piece& piece : pieces)
        expected.push_back(piece.bytes);
    FUZZ_CHECK_EQUAL(peer.failure(), QString());
    FUZZ_CHECK(record.datagrams == expected);
    if (echo)
        FUZZ_CHECK(peer.received() == expected);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ensureCoreApplication();
    g_peerListener = new LoopbackListener;
    FUZZ_CHECK(g_peerListener->port() != 0);
    g_tcpPort = freeTcpPort();
    g_udpPort = freeUdpPort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const auto mode = Mode(input.ConsumeIntegralInRange(0, 2));
    const bool echo = input.ConsumeBool();
    const bool peerLeaves = input.ConsumeBool();

    std::vector<Piece> pieces;
    qsizetype total = 0;
    while (input.remaining_bytes() > 0) {
        const auto length = input.ConsumeIntegralInRange<std::size_t>(0, 512);
        // Now and then a piece many times its input, for floods past the read chunk.
        const int times =
            input.ConsumeIntegralInRange(0, 15) == 15 ? input.ConsumeIntegralInRange(2, 4096) : 1;
        const bool waitAfter = input.ConsumeBool();
        const std::string bytes = input.ConsumeBytesAsString(length);
        QByteArray piece = QByteArray(bytes.data(), qsizetype(bytes.size())).repeated(times);
        if (mode == Mode::Datagrams)
            piece.truncate(QtSocketControl::kMaxDatagram);
        total += piece.size();
        if (total > 8 * 1024 * 1024)
            break;
        pieces.push_back({piece, waitAfter});
    }

    if (mode == Mode::Datagrams)
        udpExchange(echo, pieces);
    else
        tcpExchange(mode, echo, peerLeaves, pieces);
    // What the control handed to deleteLater goes now, not at the end of the run.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
