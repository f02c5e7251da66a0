// Measures the receive paths of the real window, offscreen, with the real socket layer:
// TCP floods through the server endpoint (text and binary), the bare loopback limit, growth
// of the per-megabyte cost, event-loop stalls during the floods, UDP datagrams, memory per
// received byte (TCP and serial, device-log text, random bytes and short lines), jumping
// through a large pane, wrapping it again, start-up time, how long a serial close with output
// pending holds the window, serial and TCP with accessibility switched on, and a capture
// written to a file while a flood arrives.
// Prints a table, then one line of key=value pairs.
//
// Usage: quorvane_bench [--quick] [--megabytes N]
//                       [--only tcp|tcp-text|tcp-binary|udp|serial|memory|seek|rewrap|search|a11y|
//                               startup|sustained|log]
// --only takes several scenarios separated by commas ("tcp,a11y"), run in the usual order:
// one scenario after another leaves its state behind, as in the full run.

#include "BenchSupport.h"
#include "CaptureScenario.h"
#include "Scenarios.h"
#include "SustainedFlood.h"
#include "app/MemoryPolicy.h"
#include "app/ServerFrm.h"
#include "app/ServerFrmControls.h"
#include "codes/CodeList.h"
#include "record/SessionRecord.h"
#include "record/SessionSaveBinding.h"
#include "serial/SerialControl.h"
#include "support/peers/DatagramPeer.h"
#include "support/peers/LinePeer.h"
#include "support/peers/Loopback.h"
#include "views/FileSave.h"
#include "views/LogPane.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

#include <fcntl.h>
#include <pty.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr qint64 kMegabyte = 1024 * 1024;

class CountingMessages final : public OperatorMessages {
public:
    void show(const QString& text, MessageIcon) override
    {
        ++count;
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    int count = 0;
};

// The streams repeat a pattern of about 1 MB, copied as it is sent, so the peer is never the
// slow side. The pattern's length is a multiple of the text's 81-byte line.
constexpr qsizetype kPatternSize = 81 * 12'945;

// Text: lines of 80 letters, each ended by a line break.
PeerStream textStream()
{
    QByteArray made(kPatternSize, Qt::Uninitialized);
    for (qsizetype at = 0; at < made.size(); ++at) {
        const qsizetype column = at % 81;
        made[at] = column == 80 ? '\n' : char('a' + (at / 81 + column) % 26);
    }
    return PeerStream::repeating(made);
}

// Binary: every byte value but CR and LF, so there is no line break at all.
PeerStream binaryStream()
{
    QByteArray made(kPatternSize, Qt::Uninitialized);
    for (qsizetype at = 0; at < made.size(); ++at) {
        std::uint32_t x = std::uint32_t(at) * 2654435761u;
        x ^= x >> 15;
        char b = char(x >> 8);
        if (b == '\n' || b == '\r')
            b = 0;
        made[at] = b;
    }
    return PeerStream::repeating(made);
}

// Fills a piece of a stream that starts at the given offset.
using StreamFiller = std::function<void(std::int64_t, QByteArray&)>;

// A fresh device log for each stream, asked for its pieces in order.
StreamFiller deviceLogFiller()
{
    auto log = std::make_shared<DeviceLog>();
    return [log](std::int64_t, QByteArray& piece) {
        log->fill(piece);
    };
}

// Random bytes, every value (line breaks among them), the same for every run.
void fillRandom(std::int64_t offset, QByteArray& piece)
{
    for (qsizetype at = 0; at < piece.size(); ++at) {
        std::uint64_t x = std::uint64_t(offset + at) * 0x9E3779B97F4A7C15ull;
        x ^= x >> 31;
        x *= 0xBF58476D1CE4E5B9ull;
        x ^= x >> 29;
        piece[at] = char(x >> 24);
    }
}

QByteArray streamOf(qint64 size, const StreamFiller& fill)
{
    QByteArray data(size, Qt::Uninitialized);
    fill(0, data);
    return data;
}

// Resident memory once the record has compressed what it holds: what a capture costs at rest.
qint64 settledResidentBytes()
{
    SessionRecord::waitUntilCompressed(120'000);
    QCoreApplication::processEvents();
    return residentBytes();
}

bool endsWith(const LogPane& pane, QByteArrayView tail)
{
    return pane.length() >= tail.size() &&
           pane.textRange(pane.length() - tail.size(), pane.length()) == QLatin1String(tail);
}

double threadCpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

struct TcpRun {
    double megabytesPerSecond = 0;
    double cpuMsPerMegabyte = 0;
    double growth = 0;
    qint64 chunks = 0;
    bool ok = false;
};

// A peer floods the window's server endpoint; timed until the last byte is in the pane and
// the code list.
TcpRun floodServer(ServerFrm& w, qint64 total, const PeerStream& stream)
{
    TcpRun run;
    const quint16 port = freeTcpPort();
    w.controls().txtPort->setText(QString::number(port));
    w.controls().bntListen->click();
    const qint64 base = w.codeList().rows().byteCount();
    const qint64 baseRows = w.codeList().rowCount();
    const qint64 logged = w.controls().Text3->length();
    const int fd = connectToLoopback(port);
    if (fd < 0)
        return run;
    LinePeer peer(fd, LinePeer::Kind::Socket, stream);
    const auto failed = [&] {
        return !peer.failure().isEmpty();
    };
    if (!waitUntil([&] { return failed() || w.controls().Text3->length() > logged; }, 10'000))
        return run;

    const qint64 lastMegabyteAt = std::max<qint64>(total - kMegabyte, kMegabyte);
    qint64 firstMegabyteNs = 0;
    qint64 lastMegabyteStartNs = 0;
    qint64 endNs = 0;
    QElapsedTimer clock;
    const auto connection = QObject::connect(w.Winsock1.get(), &SocketControl::dataArrival, [&] {
        const qint64 received = w.codeList().rows().byteCount() - base;
        const qint64 now = clock.nsecsElapsed();
        if (!firstMegabyteNs && received >= kMegabyte)
            firstMegabyteNs = now;
        if (!lastMegabyteStartNs && received >= lastMegabyteAt)
            lastMegabyteStartNs = now;
        if (!endNs && received >= total)
            endNs = now;
    });
    const double cpuBefore = threadCpuMilliseconds();
    clock.start();
    peer.send(total);
    peer.finish();
    run.ok = waitUntil([&] { return endNs != 0 || failed(); });
    run.cpuMsPerMegabyte =
        (threadCpuMilliseconds() - cpuBefore) / (double(total) / double(kMegabyte));
    QObject::disconnect(connection);
    waitUntil([&] { return endsWith(*w.controls().Text3, "*** Desconectado\r\n"); }, 10'000);
    if (!run.ok || failed())
        return run;
    run.megabytesPerSecond = double(total) / double(kMegabyte) / (double(endNs) / 1e9);
    run.chunks = w.codeList().rowCount() - baseRows;
    const double firstCost = double(firstMegabyteNs);
    const double lastCost =
        double(endNs - lastMegabyteStartNs) * double(kMegabyte) / double(total - lastMegabyteAt);
    run.growth = firstCost > 0 ? lastCost / firstCost : 0;
    return run;
}

// The same flood read into nothing: what loopback itself allows on this machine.
double floodBareSocket(qint64 total, const PeerStream& stream)
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    qint64 received = 0;
    QTcpSocket* socket = nullptr;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        socket = server.nextPendingConnection();
        QObject::connect(socket, &QIODevice::readyRead,
                         [&] { received += socket->readAll().size(); });
    });
    LinePeer peer(connectToLoopback(server.serverPort()), LinePeer::Kind::Socket, stream);
    waitUntil([&] { return socket != nullptr; }, 10'000);
    QElapsedTimer clock;
    clock.start();
    peer.send(total);
    peer.finish();
    waitUntil([&] { return received >= total; });
    return double(total) / double(kMegabyte) / (double(clock.nsecsElapsed()) / 1e9);
}

struct UdpRun {
    int sent = 0;
    qint64 rows = 0;
    double perSecond = 0;
    double peerPerSecond = 0;
};

UdpRun floodDatagrams(ServerFrm& w, int count)
{
    UdpRun run;
    w.controls().Option2->click();
    const quint16 port = freeUdpPort();
    w.controls().txtPort->setText(QString::number(port));
    w.controls().bntListen->click();
    const qint64 base = w.codeList().rowCount();
    QElapsedTimer clock;
    clock.start();
    DatagramPeer peer(port, PeerStream::repeating(QByteArray(16, 'u')));
    peer.send(std::vector<int>(std::size_t(count), 16));
    qint64 lastRows = -1;
    qint64 lastRowAtNs = 0;
    QElapsedTimer quiet;
    quiet.start();
    waitUntil([&] {
        const qint64 rows = w.codeList().rowCount() - base;
        if (rows != lastRows) {
            lastRows = rows;
            lastRowAtNs = clock.nsecsElapsed();
            quiet.restart();
        }
        const bool done = peer.sentCount() == count || !peer.failure().isEmpty();
        return done && (rows >= peer.sentCount() || quiet.elapsed() > 1000);
    });
    run.sent = int(peer.sentCount());
    run.rows = w.codeList().rowCount() - base;
    run.perSecond = lastRowAtNs ? double(run.rows) / (double(lastRowAtNs) / 1e9) : 0;
    run.peerPerSecond = peer.sendingSeconds() > 0 ? double(run.sent) / peer.sendingSeconds() : 0;
    return run;
}

// A pseudo-terminal standing for a serial device: the window opens its slave side as port 5
// through a com5 alias; the peer writes the master side.
struct SerialLine {
    SerialLine()
    {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        QFile::link(QString::fromLocal8Bit(name), directory.filePath(QStringLiteral("com5")));
    }
    ~SerialLine()
    {
        for (const int fd : {master, slave}) {
            if (fd >= 0)
                ::close(fd);
        }
    }
    QTemporaryDir directory;
    int master = -1;
    int slave = -1;
};

struct SerialRun {
    qint64 sent = 0;
    qint64 rows = 0;
    qint64 shown = 0;
    double charactersPerSecond = 0;
    double seconds = 0;
};

SerialRun floodSerial(ServerFrm& w, const SerialLine& line, const QByteArray& data);

// Memory a serial capture costs per character: the growth of resident memory over it, at
// rest, divided by the characters received.
double serialMemoryPerCharacter(ServerFrm& w, const SerialLine& line, const QByteArray& data,
                                SerialRun& run)
{
    const qint64 before = settledResidentBytes();
    run = floodSerial(w, line, data);
    const qint64 after = settledResidentBytes();
    return run.rows > 0 ? double(after - before) / double(run.rows) : 0;
}

// The same over TCP through the server endpoint.
double tcpMemoryPerByte(ServerFrm& w, const QByteArray& data)
{
    const qint64 size = data.size();
    const qint64 before = settledResidentBytes();
    const TcpRun run = floodServer(w, size, PeerStream::repeating(data));
    const qint64 after = settledResidentBytes();
    return run.ok ? double(after - before) / double(size) : 0;
}

struct LargePaneRun {
    double seekMs = 0;
    double saveMegabytesPerSecond = 0;
};

// A pane holding a large record, scrolled to its end: how long jumping to its start and
// painting the first rows takes (the record's first blocks are compressed by then), and how
// fast "Guardar como…" writes the whole pane to a file (decompressing it on the saving thread).
LargePaneRun largePane(qint64 size)
{
    LargePaneRun run;
    LogPane pane;
    pane.resize(480, 300);
    pane.show();
    QCoreApplication::processEvents();
    DeviceLog log;
    QByteArray chunk(kMegabyte, Qt::Uninitialized);
    for (qint64 done = 0; done < size; done += chunk.size()) {
        log.fill(chunk);
        pane.append(chunk);
    }
    QScrollBar* bar = pane.verticalScrollBar();
    waitUntil([&] { return bar->maximum() > 0 && bar->value() == bar->maximum(); }, 10'000);
    pane.viewport()->repaint();
    SessionRecord::waitUntilCompressed(120'000);
    QElapsedTimer clock;
    clock.start();
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::ControlModifier);
    QApplication::sendEvent(&pane, &home);
    pane.viewport()->repaint();
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    run.seekMs = bar->value() == 0 ? ms : -1;

    // A memory-backed folder where there is one: the figure is the program's (reading the
    // record back, decompressing, writing), not the disk's, which syncs the file at the end.
    const QString shm = QStringLiteral("/dev/shm");
    QTemporaryDir folder((QFileInfo(shm).isDir() ? shm : QDir::tempPath()) +
                         QStringLiteral("/quorvane-bench-XXXXXX"));
    FileSave save(folder.filePath(QStringLiteral("pane.txt")),
                  paneContent(paneSource(pane.record().snapshot(), pane.link())));
    bool saved = false;
    QObject::connect(&save, &FileSave::finished, [&](FileSave::Outcome outcome) {
        saved = outcome == FileSave::Outcome::Saved;
    });
    clock.restart();
    save.start();
    waitUntil([&] { return saved; }, 120'000);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (saved && QFileInfo(save.path()).size() == pane.length())
        run.saveMegabytesPerSecond = double(pane.length()) / double(kMegabyte) / seconds;
    return run;
}

SerialRun floodSerial(ServerFrm& w, const SerialLine& line, const QByteArray& data)
{
    const qint64 size = data.size();
    SerialRun run;
    w.controls().MaskEdBox1->setText(QStringLiteral("5"));
    w.controls().MaskEdBox5->setText(QStringLiteral("921600"));
    w.controls().MaskEdBox2->setText(QStringLiteral("8"));
    w.controls().MaskEdBox3->setText(QStringLiteral("0"));
    w.controls().MaskEdBox4->setText(QStringLiteral("1"));
    w.controls().Command2->click();
    if (!w.MSComm1->portOpen())
        return run;
    const qint64 baseRows = w.codeList().rowCount();
    const qint64 basePane = w.controls().Text2->length();
    QElapsedTimer clock;
    clock.start();
    qint64 lastChangeNs = 0;
    qint64 lastRows = -1;
    QElapsedTimer quiet;
    quiet.start();
    {
        // The peer owns its descriptor; the line keeps its own.
        LinePeer peer(::dup(line.master), LinePeer::Kind::Terminal, PeerStream::repeating(data));
        peer.send(size);
        // Asleep between events, as a window's loop is: the peer's thread needs the core.
        runUntil(
            [&] {
                const qint64 rows = w.codeList().rowCount() - baseRows;
                if (rows != lastRows) {
                    lastRows = rows;
                    lastChangeNs = clock.nsecsElapsed();
                    quiet.restart();
                }
                return peer.written() == size && (rows >= size || quiet.elapsed() > 1000);
            },
            120'000);
    }
    run.sent = size;
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    run.rows = w.codeList().rowCount() - baseRows;
    run.shown = w.controls().Text2->length() - basePane;
    run.charactersPerSecond = lastChangeNs ? double(run.rows) / (double(lastChangeNs) / 1e9) : 0;
    w.controls().Command4->click();
    return run;
}

// "Desconectar" with output pending that the other end is not reading: the largest gap of
// the event loop from just before the click to well after it. The pending output is then
// read, so that it has gone out before the next scenario.
double serialCloseStall(ServerFrm& w, const SerialLine& line)
{
    w.controls().MaskEdBox5->setText(QStringLiteral("9600"));
    w.controls().Command2->click();
    if (!w.MSComm1->portOpen())
        return -1;
    w.controls().Text1->setText(QString(256 * 1024, u'x'));
    w.controls().Command3->click();
    QElapsedTimer clock;
    clock.start();
    waitUntil([&] { return clock.elapsed() > 50; }); // the line backs up
    StallMeter meter;
    meter.start();
    QTimer::singleShot(20, &w, [&w] { w.controls().Command4->click(); });
    clock.restart();
    waitUntil([&] { return clock.elapsed() > 300; });
    // A click that held the loop past the end of the wait is counted at the next firing.
    const std::size_t firings = meter.count();
    waitUntil([&] { return meter.count() > firings + 1; });
    meter.stop();

    ::fcntl(line.master, F_SETFL, ::fcntl(line.master, F_GETFL) | O_NONBLOCK);
    char sink[65536];
    clock.restart();
    while (clock.elapsed() < 500) {
        if (::read(line.master, sink, sizeof sink) > 0)
            clock.restart();
        else
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return meter.max();
}

// Process start to window shown, measured from outside, median of several runs.
double startupMilliseconds(int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QProcess probe;
        QElapsedTimer clock;
        clock.start();
        probe.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--startup-probe")});
        if (!probe.waitForReadyRead(10'000))
            continue;
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
        probe.waitForFinished(10'000);
    }
    if (times.empty())
        return 0;
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int startupProbe(QApplication& app)
{
    ServerFrm window;
    window.show();
    QTimer::singleShot(0, &app, [&] {
        std::printf("shown\n");
        std::fflush(stdout);
        app.quit();
    });
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    keepLargeBuffersForReuse();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    const QStringList args = QApplication::arguments();
    if (args.contains(QStringLiteral("--startup-probe")))
        return startupProbe(app);

    const bool quick = args.contains(QStringLiteral("--quick"));
    qint64 megabytes = quick ? 4 : 100;
    if (const qsizetype at = args.indexOf(QStringLiteral("--megabytes"));
        at > 0 && at + 1 < args.size())
        megabytes = args.at(at + 1).toLongLong();
    const int datagrams = quick ? 10'000 : 100'000;
    QStringList only;
    if (const qsizetype at = args.indexOf(QStringLiteral("--only")); at > 0 && at + 1 < args.size())
        only = args.at(at + 1).split(u',', Qt::SkipEmptyParts);
    const auto runs = [&](const char* scenario) {
        return only.isEmpty() ||
               std::any_of(only.begin(), only.end(), [scenario](const QString& o) {
                   return o.startsWith(QLatin1String(scenario));
               });
    };
    // One half of the TCP flood alone.
    const bool textOnly = only.contains(u"tcp-text"_qs) && !only.contains(u"tcp"_qs);
    const bool binaryOnly = only.contains(u"tcp-binary"_qs) && !only.contains(u"tcp"_qs);

    std::printf("Quorvane receive-path benchmark (%lld MB per TCP flood%s)\n\n", megabytes,
                quick ? ", quick" : "");
    std::fflush(stdout);

    auto messages = std::make_unique<CountingMessages>();
    CountingMessages* shown = messages.get();
    const SerialLine line;
    ServerFrmPlatform platform;
    platform.messages = std::move(messages);
    platform.serialDeviceDirectory = line.directory.path();
    ServerFrm window(std::move(platform));
    window.show();
    QCoreApplication::processEvents();

    StallMeter stalls;
    SerialRun serial;
    double serialCloseStallMs = 0;
    TcpRun textRun;
    TcpRun binaryRun;
    double rss = 0;
    double received = 1;
    double bare = 0;
    if (runs("tcp")) {
        const qint64 size = megabytes * kMegabyte;
        window.controls().Option1->click();
        stalls.start();
        if (!binaryOnly)
            textRun = floodServer(window, size, textStream());
        if (!textOnly) {
            // The text flood's backlog is compressed first, the window's events running
            // meanwhile: each flood is timed on its own.
            waitUntil([] { return SessionRecord::waitUntilCompressed(0); });
            binaryRun = floodServer(window, size, binaryStream());
        }
        stalls.stop();
        rss = residentBytes();
        received = double(2 * size);
        bare = floodBareSocket(size, binaryStream());
    }
    if (runs("serial")) {
        QByteArray data(quick ? 128 * 1024 : kMegabyte, Qt::Uninitialized);
        for (qint64 i = 0; i < data.size(); ++i)
            data[i] = char(i * 7 % 256);
        stalls.start();
        serial = floodSerial(window, line, data);
        stalls.stop();
        serialCloseStallMs = serialCloseStall(window, line);
    }
    // Memory per received byte at rest, each capture measured by itself.
    double serialRssPerChar = 0;
    double serialRssPerCharRandom = 0;
    double tcpRssPerByte = 0;
    double tcpRssPerByteBinary = 0;
    double rssPerByteNewlines = 0;
    double rssPerByteShortLines = 0;
    SerialRun serialText;
    SerialRun serialRandom;
    const qint64 serialCharacters = quick ? 2'000'000 : 50'000'000;
    const qint64 tcpMemoryBytes = (quick ? 8 : 200) * kMegabyte;
    if (runs("memory")) {
        serialRssPerChar = serialMemoryPerCharacter(
            window, line, streamOf(serialCharacters, deviceLogFiller()), serialText);
        serialRssPerCharRandom = serialMemoryPerCharacter(
            window, line, streamOf(serialCharacters, fillRandom), serialRandom);
        window.controls().Option1->click();
        tcpRssPerByte = tcpMemoryPerByte(window, streamOf(tcpMemoryBytes, deviceLogFiller()));
        tcpRssPerByteBinary = tcpMemoryPerByte(window, streamOf(tcpMemoryBytes, fillRandom));
        rssPerByteNewlines = tcpMemoryPerByte(window, repeatedLine("\r\n", tcpMemoryBytes));
        rssPerByteShortLines = tcpMemoryPerByte(window, repeatedLine("OK\r\n", tcpMemoryBytes));
    }
    // Device log received and written at once ("Grabar en archivo…"), once the earlier floods'
    // backlog is compressed: into a pipe read as fast as it fills, the program's own pace, and
    // into a file in memory-backed pages. Before the 4 GB flood: after it, more of the file's
    // pages are ones the machine must provide afresh, which the file's figure would measure.
    const auto captureLog = [&](CaptureInto into) {
        if (!runs("log"))
            return CaptureRun{};
        runUntil([] { return SessionRecord::waitUntilCompressed(0); }, 120'000);
        return captureWhileFlooding(
            (quick ? 32 : 1024) * kMegabyte,
            PeerStream::repeating(streamOf((quick ? 4 : 16) * kMegabyte, deviceLogFiller())), into);
    };
    const CaptureRun capture = captureLog(CaptureInto::Pipe);
    const CaptureRun captureFile = captureLog(CaptureInto::MemoryFile);
    // A flood longer than the compressor keeps up with: 4 GB of device log at full speed (a
    // pattern of 16 MB, far longer than a block, so each block costs the compressor in full).
    SustainedFloodRun sustained;
    if (runs("sustained")) {
        window.controls().Option1->click();
        sustained = sustainedTcpFlood(
            window, (quick ? 64 : 4096) * kMegabyte,
            PeerStream::repeating(streamOf((quick ? 4 : 16) * kMegabyte, deviceLogFiller())));
    }
    const LargePaneRun large =
        runs("seek") ? largePane((quick ? 32 : 1024) * kMegabyte) : LargePaneRun{};
    const double seek = large.seekMs;
    const RewrapRun rewrap =
        runs("rewrap") ? rewrapLargePane((quick ? 32 : 1024) * kMegabyte) : RewrapRun{};
    const SearchRun search =
        runs("search") ? searchLargePane((quick ? 32 : 1024) * kMegabyte) : SearchRun{};
    // The serial and TCP floods again, as a screen reader's desktop has them.
    SerialRun serialA11y;
    TcpRun tcpA11y;
    bool accessible = false;
    if (runs("a11y")) {
        // What earlier scenarios left to compress is not this one's work.
        SessionRecord::waitUntilCompressed(120'000);
        const AccessibilityOn listening;
        accessible = listening.active();
        serialA11y =
            floodSerial(window, line, streamOf((quick ? 1 : 32) * kMegabyte, deviceLogFiller()));
        window.controls().Option1->click();
        tcpA11y = floodServer(window, megabytes * kMegabyte, textStream());
        std::printf("accessibility updates heard: %lld (%lld characters)\n", listening.updates(),
                    listening.characters());
    }
    const double serialWindowMBps =
        accessible && serialA11y.sent == serialA11y.rows && serialA11y.seconds > 0
            ? serialA11y.charactersPerSecond / double(kMegabyte)
            : 0;
    const UdpRun udp = runs("udp") ? floodDatagrams(window, datagrams) : UdpRun{};
    const double startup = runs("startup") ? startupMilliseconds(quick ? 3 : 7) : 0;

    const double stallP99 = stalls.percentile(0.99);
    const double stallMax = stalls.max();
    const double udpRatio = udp.sent ? double(udp.rows) / double(udp.sent) : 0;
    const double rssPerByteOld = rss / received;
    const double growth = std::max(textRun.growth, binaryRun.growth);

    std::printf("%-44s %12s\n", "measure", "value");
    std::printf("%-44s %12.1f\n", "TCP text through the window (MB/s)", textRun.megabytesPerSecond);
    std::printf("%-44s %12.1f\n", "TCP binary, no line breaks (MB/s)",
                binaryRun.megabytesPerSecond);
    std::printf("%-44s %12.2f\n", "window thread CPU per MB, text (ms)", textRun.cpuMsPerMegabyte);
    std::printf("%-44s %12.2f\n", "window thread CPU per MB, binary (ms)",
                binaryRun.cpuMsPerMegabyte);
    std::printf("%-44s %12lld\n", "TCP chunks delivered (text)", textRun.chunks);
    std::printf("%-44s %12lld\n", "TCP chunks delivered (binary)", binaryRun.chunks);
    std::printf("%-44s %12.1f\n", "bare loopback socket (MB/s)", bare);
    std::printf("%-44s %12.2f\n", "window / bare (binary)",
                bare > 0 ? binaryRun.megabytesPerSecond / bare : 0);
    std::printf("%-44s %12.2f\n", "growth: last MB cost / first MB cost", growth);
    std::printf("%-44s %12.2f\n", "event-loop gap p99 during floods (ms)", stallP99);
    std::printf("%-44s %12.2f\n", "event-loop gap max during floods (ms)", stallMax);
    std::printf("%-44s %5zu/%zu/%zu of %zu\n", "gaps over 2 / 8 / 15 ms", stalls.over(2),
                stalls.over(8), stalls.over(15), stalls.count());
    std::printf("%-44s %12lld\n", "serial characters sent", serial.sent);
    std::printf("%-44s %12lld\n", "serial notifications (rows added)", serial.rows);
    std::printf("%-44s %12lld\n", "serial characters shown in the pane", serial.shown);
    std::printf("%-44s %12.0f\n", "serial characters per second", serial.charactersPerSecond);
    std::printf("%-44s %12.2f\n", "serial close, output pending: max gap (ms)", serialCloseStallMs);
    std::printf("%-44s %12d\n", "UDP datagrams sent", udp.sent);
    std::printf("%-44s %12lld\n", "UDP rows added", udp.rows);
    std::printf("%-44s %12.0f\n", "UDP datagrams sent per second by the peer", udp.peerPerSecond);
    std::printf("%-44s %12.0f\n", "UDP datagrams shown per second", udp.perSecond);
    std::printf("%-44s %12.2f\n", "RSS per byte after the TCP floods above", rssPerByteOld);
    std::printf("%-44s %12.3f\n", "RSS per serial character, device log", serialRssPerChar);
    std::printf("%-44s %12.3f\n", "RSS per serial character, random bytes", serialRssPerCharRandom);
    std::printf("%-44s %9lld in %.1f s\n", "serial characters captured (device log)",
                serialText.rows, serialText.seconds);
    std::printf("%-44s %12.3f\n", "RSS per TCP byte, device log", tcpRssPerByte);
    std::printf("%-44s %12.3f\n", "RSS per TCP byte, random bytes", tcpRssPerByteBinary);
    std::printf("%-44s %12.1f\n", "jump from the end to the start and paint (ms)", seek);
    std::printf("%-44s %12.1f\n", "saving that pane to a file (MB/s)",
                large.saveMegabytesPerSecond);
    std::printf("%-44s %12.3f\n", "RSS per TCP byte, CR LF alone", rssPerByteNewlines);
    std::printf("%-44s %12.3f\n", "RSS per TCP byte, OK CR LF", rssPerByteShortLines);
    std::printf("%-44s %12.2f\n", "new width on a large pane: max gap (ms)", rewrap.stallMs);
    std::printf("%-44s %12.2f\n", "new width on a large pane: rows ready (s)", rewrap.seconds);
    std::printf("%-44s %12.1f\n", "find at the end of a large pane (MB/s)",
                search.megabytesPerSecond);
    std::printf("%-44s %12.2f\n", "find at the end of a large pane: max gap (ms)", search.stallMs);
    std::printf("%-44s %12.2f\n", "serial device log, accessibility on (MB/s)", serialWindowMBps);
    std::printf("%-44s %12.1f\n", "TCP text, accessibility on (MB/s)",
                accessible ? tcpA11y.megabytesPerSecond : 0);
    std::printf("%-44s %12.1f\n", "sustained TCP flood, 4 GB (MB/s)", sustained.megabytesPerSecond);
    std::printf("%-44s %12.1f\n", "its peak uncompressed backlog (MB)",
                sustained.peakBacklogMegabytes);
    std::printf("%-44s %12lld\n", "its bytes lost or changed", sustained.lost);
    std::printf("%-44s %12.1f\n", "captured into a pipe while received (MB/s)",
                capture.megabytesPerSecond);
    std::printf("%-44s %12.2f\n", "its event-loop gap p99 (ms)", capture.stallP99Ms);
    std::printf("%-44s %12.1f\n", "its CSV written (MB)", capture.fileMegabytes);
    std::printf("%-44s %12.1f\n", "the same into a memory-backed file (MB/s)",
                captureFile.megabytesPerSecond);
    std::printf("%-44s %12.2f\n", "its event-loop gap p99 (ms)", captureFile.stallP99Ms);
    std::printf("%-44s %12.1f\n", "start-up to window shown (ms, median)", startup);
    std::printf("%-44s %12d\n", "operator messages during the run", shown->count);
    std::printf("\n");
    std::printf(
        "tcp_MBps=%.1f tcp_binary_MBps=%.1f bare_MBps=%.1f growth=%.2f stall_p99_ms=%.2f "
        "stall_max_ms=%.2f udp_received_ratio=%.4f rss_per_byte=%.3f startup_ms=%.1f "
        "tcp_cpu_ms_per_MB=%.2f tcp_binary_cpu_ms_per_MB=%.2f serial_cps=%.0f serial_lost=%lld "
        "serial_rows=%lld serial_rss_per_char=%.3f serial_rss_per_char_random=%.3f "
        "rss_per_byte_binary=%.3f seek_ms=%.1f save_MBps=%.1f serial_close_stall_ms=%.2f "
        "rss_per_byte_newlines=%.3f rss_per_byte_short_lines=%.3f rewrap_stall_ms=%.2f "
        "serial_window_MBps=%.2f tcp_a11y_MBps=%.1f "
        "tcp_sustained_MBps=%.1f flood_backlog_MB=%.1f flood_lost=%lld log_MBps=%.1f "
        "log_stall_p99_ms=%.2f log_file_MBps=%.1f search_MBps=%.1f search_stall_ms=%.2f\n",
        textRun.megabytesPerSecond, binaryRun.megabytesPerSecond, bare, growth, stallP99, stallMax,
        udpRatio, tcpRssPerByte, startup, textRun.cpuMsPerMegabyte, binaryRun.cpuMsPerMegabyte,
        serial.charactersPerSecond, serial.sent - serial.rows, serial.rows, serialRssPerChar,
        serialRssPerCharRandom, tcpRssPerByteBinary, seek, large.saveMegabytesPerSecond,
        serialCloseStallMs, rssPerByteNewlines, rssPerByteShortLines, rewrap.stallMs,
        serialWindowMBps, accessible ? tcpA11y.megabytesPerSecond : 0, sustained.megabytesPerSecond,
        sustained.peakBacklogMegabytes, sustained.lost, capture.megabytesPerSecond,
        capture.stallP99Ms, captureFile.megabytesPerSecond, search.megabytesPerSecond,
        search.stallMs);
    const bool ok = (textOnly || binaryOnly || !runs("tcp") || (textRun.ok && binaryRun.ok)) &&
                    (!runs("sustained") || sustained.ok) &&
                    (!runs("log") || (capture.ok && captureFile.ok)) && shown->count == 0;
    return ok ? 0 : 1;
}
