#include "Soak.h"

#include <pty.h>
#include <unistd.h>

namespace soak {

namespace {

const char* const kPaneNames[kLinkCount] = {"Text3", "Text4", "Text2"};
const char* const kLinkNames[kLinkCount] = {"server", "client", "serial"};

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).count()) - 2;
}

// A row's codes as the list must show them, made here independently of the program.
QString codesOf(QByteArrayView bytes)
{
    QString codes;
    for (const char byte : bytes)
        codes += u',' + QString::number(static_cast<unsigned char>(byte));
    return codes;
}

QString excerpt(QByteArrayView bytes)
{
    QString shown;
    for (const char byte : bytes.first(std::min<qsizetype>(bytes.size(), 48))) {
        const auto code = static_cast<unsigned char>(byte);
        shown += code >= 0x20 && code < 0x7F
                     ? QString(QChar(char16_t(code)))
                     : QStringLiteral("\\x%1").arg(uint(code), 2, 16, QChar(u'0'));
    }
    return QStringLiteral("\"%1\"").arg(shown);
}

const QByteArray kServerConnected = QByteArrayLiteral("Cliente conectado. IP : 127.0.0.1\r\n");
const QByteArray kClientConnected = QByteArrayLiteral("Conectado a 127.0.0.1\r\n");
const QByteArray kDisconnected = QByteArrayLiteral("*** Desconectado\r\n");
const QByteArray kSerialConnected = QByteArrayLiteral("Conectado....\r\n");
const QByteArray kSerialDisconnected = QByteArrayLiteral("****Desconectado****\r\n");
// What each pane writes before and after a received chunk, and before an operator's send.
const QByteArray kRowPrefix[kLinkCount] = {"Cliente : ", "Servidor : ", {}};
const QByteArray kRowSuffix[kLinkCount] = {"\r\n", "\r\n", {}};
const QByteArray kSendPrefix[kLinkCount] = {"Servidor: ", "Cliente : ", {}};

// The line a pane gets when a change of transport closes its socket while live: a listener or
// a bound port names its port, a connection is "*** Desconectado"; nothing when closed.
QByteArray closedByTransportChange(const SocketControl& socket)
{
    switch (socket.state()) {
    case SocketControl::Closed:
        return {};
    case SocketControl::Listening:
    case SocketControl::Open:
        return SingleByteCodec::toBytes(
            QStringLiteral("*** Dejó de escuchar en el puerto %1 (%2)\r\n")
                .arg(QString::number(socket.localPort()),
                     socket.protocol() == SocketControl::Udp ? u"UDP" : u"TCP"));
    default:
        return kDisconnected;
    }
}

} // namespace

SoakSettings settingsFromEnvironment()
{
    SoakSettings settings;
    bool ok = false;
    if (const int seconds = qEnvironmentVariableIntValue("QUORVANE_SOAK_SECONDS", &ok);
        ok && seconds > 0)
        settings.seconds = seconds;
    if (const int megabytes = qEnvironmentVariableIntValue("QUORVANE_SOAK_MEGABYTES", &ok);
        ok && megabytes > 0)
        settings.megabytes = megabytes;
    if (const int seed = qEnvironmentVariableIntValue("QUORVANE_SOAK_SEED", &ok); ok)
        settings.seed = std::uint32_t(seed);
    return settings;
}

Soak::Soak(const SoakSettings& settings)
    : m_settings(settings)
    , m_random(settings.seed)
{
    // Phases of about 40 seconds, as many TCP as UDP, at least one of each.
    m_phases = std::max(2, 2 * int(double(settings.seconds) / 80.0 + 0.5));
    m_phaseMs = qint64(settings.seconds) * 1000 / m_phases;
}

Soak::~Soak()
{
    m_context.reset();
    m_window.reset();
    m_serverPeer.reset();
    m_clientPeer.reset();
    m_serialPeer.reset();
    m_datagramPeer.reset();
    if (m_slave >= 0)
        ::close(m_slave);
}

bool Soak::runUntil(const std::function<bool()>& done, const QString& what, int timeoutMs)
{
    feedAll();
    if (done())
        return true;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(1);
    bool reached = false;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        feedAll();
        if (done()) {
            reached = true;
            loop.quit();
        } else if (clock.elapsed() > timeoutMs) {
            loop.quit();
        }
    });
    tick.start();
    loop.exec();
    if (!reached)
        return fail(QStringLiteral("waited %1 s for %2 in vain. %3")
                        .arg(timeoutMs / 1000)
                        .arg(what, status()));
    return true;
}

QString Soak::status()
{
    QStringList parts;
    for (int link = 0; link < kLinkCount; ++link) {
        const Feed& feed = m_feeds[link];
        // Links other than the one waited for go on trickling: a few bytes in flight there
        // are normal.
        parts << QStringLiteral("%1: asked %2, shown %3 (%4 in flight), operator sent %5")
                     .arg(QLatin1String(kLinkNames[link]))
                     .arg(feed.queued)
                     .arg(shown(Link(link)))
                     .arg(feed.queued - shown(Link(link)))
                     .arg(m_toPeer[link].size());
    }
    if (m_serverPeer)
        parts << QStringLiteral("server peer wrote %1, got %2, ended %3 %4")
                     .arg(m_serverPeer->written())
                     .arg(m_serverPeer->receivedSize())
                     .arg(int(m_serverPeer->ended()))
                     .arg(m_serverPeer->failure());
    if (m_clientPeer)
        parts << QStringLiteral("client peer wrote %1, got %2, ended %3 %4")
                     .arg(m_clientPeer->written())
                     .arg(m_clientPeer->receivedSize())
                     .arg(int(m_clientPeer->ended()))
                     .arg(m_clientPeer->failure());
    if (m_datagramPeer)
        parts << QStringLiteral("datagram peer sent %1, got %2 %3")
                     .arg(m_datagramPeer->sentCount())
                     .arg(m_datagramPeer->receivedCount())
                     .arg(m_datagramPeer->failure());
    parts << QStringLiteral("serial peer wrote %1, got %2 %3")
                 .arg(m_serialPeer->written())
                 .arg(m_serialPeer->receivedSize())
                 .arg(m_serialPeer->failure());
    parts << QStringLiteral("Winsock1 state %1, Winsock2 state %2, port open %3, messages %4")
                 .arg(window().Winsock1->state())
                 .arg(window().Winsock2->state())
                 .arg(int(window().MSComm1->portOpen()))
                 .arg(m_window->messages->shown.size());
    return parts.join(QStringLiteral("; "));
}

// --- set-up ------------------------------------------------------------------------------

bool Soak::setUp()
{
    // Port 5 of a device directory of the soak's own is a pseudo-terminal whose other end is
    // the serial peer. The soak keeps the slave side open too, so the line's settings outlive
    // the window's closes, as a real UART's do.
    int master = -1;
    char name[256] = {};
    if (::openpty(&master, &m_slave, name, nullptr, nullptr) != 0)
        return fail(QStringLiteral("no pseudo-terminal for the serial link"));
    QFile::link(QString::fromLocal8Bit(name), m_devices.filePath(QStringLiteral("com5")));
    m_streams[kSerialLink].emplace(m_settings.seed * 7919u + 3u);
    m_serialPeer =
        std::make_unique<LinePeer>(master, LinePeer::Kind::Terminal, *m_streams[kSerialLink], 0);
    m_checks[kSerialLink].restart(*m_streams[kSerialLink], false);

    ServerFrmPlatform platform;
    platform.mscomm1 = std::make_unique<QtSerialControl>(SerialPortNumbering(m_devices.path()));
    platform.serialDeviceDirectory = m_devices.path();
    m_window = std::make_unique<WindowUnderTest>(std::move(platform));
    ServerFrm& w = window();

    QObject::connect(w.Winsock1.get(), &SocketControl::connectionRequest, m_context.get(),
                     [this] { ++m_seen.serverConnections; });
    QObject::connect(w.Winsock1.get(), &SocketControl::peerClosed, m_context.get(),
                     [this] { ++m_seen.serverCloses; });
    QObject::connect(w.Winsock2.get(), &SocketControl::connected, m_context.get(),
                     [this] { ++m_seen.clientConnections; });
    QObject::connect(w.Winsock2.get(), &SocketControl::peerClosed, m_context.get(),
                     [this] { ++m_seen.clientCloses; });
    for (SocketControl* socket : {w.Winsock1.get(), w.Winsock2.get()}) {
        QObject::connect(
            socket, &SocketControl::errorOccurred, m_context.get(),
            [this](std::int16_t, const QString& description) { m_seen.errors << description; });
    }
    QObject::connect(w.MSComm1.get(), &SerialControl::failed, m_context.get(),
                     [this](const QString& description) { m_seen.errors << description; });

    m_tcpPort = freeTcpPort();
    if (m_tcpPort == 0 || m_listener.port() == 0)
        return fail(QStringLiteral("no loopback port for the TCP peers"));

    w.controls().MaskEdBox1->setText(QStringLiteral("5"));
    w.controls().MaskEdBox5->setText(QStringLiteral("115200"));
    w.controls().MaskEdBox2->setText(QStringLiteral("8"));
    w.controls().MaskEdBox3->setText(QStringLiteral("0"));
    w.controls().MaskEdBox4->setText(QStringLiteral("1"));
    QTest::mouseClick(w.controls().Command2, Qt::LeftButton);
    m_logged[kSerialLink] += kSerialConnected.size();
    if (!w.MSComm1->portOpen())
        return fail(QStringLiteral("the serial port did not open. %1").arg(status()));
    return quiet();
}

// Counts the rows the handlers added since the last look, each under the link the record
// gives it.
void Soak::noteRows()
{
    const SessionRecord& record = window().sessionRecord();
    for (const qint64 rows = record.codeRowCount(); m_rowsSeen < rows; ++m_rowsSeen) {
        const int link = int(record.codeRowLink(m_rowsSeen));
        if (link >= kLinkCount) {
            ++m_unshownRows;
            continue;
        }
        ++m_rowCount[link];
        m_shownBytes[link] += record.codeRowLength(m_rowsSeen);
    }
}

// Nothing told the operator anything, and no link reported a failure.
bool Soak::quiet()
{
    const auto& shownMessages = m_window->messages->shown;
    if (!shownMessages.empty())
        return fail(QStringLiteral("the operator was told \"%1\" (%2 messages in all)")
                        .arg(shownMessages.front().text)
                        .arg(shownMessages.size()));
    if (!m_seen.errors.isEmpty())
        return fail(QStringLiteral("a link failed: %1").arg(m_seen.errors.join(u" | ")));
    return true;
}

// --- phases ------------------------------------------------------------------------------

bool Soak::run()
{
    if (!setUp())
        return false;
    m_residentAtStart = residentBytes();
    m_heldAtStart = heldBytes();
    m_descriptorsAtStart = openDescriptors();
    for (int phase = 0; phase < m_phases; ++phase) {
        if (!startPhase(phase) || !runPhase() || !endPhase(phase))
            return false;
    }

    // The operator closes the window and, asked about what was received, closes it without
    // saving: both sockets close.
    window().close();
    if (m_serverPeer && !runUntil([&] { return m_serverPeer->ended() && m_clientPeer->ended(); },
                                  QStringLiteral("the TCP peers to see the window close")))
        return false;
    if (m_serverPeer &&
        (!checkPeer(*m_serverPeer, kServerLink) || !checkPeer(*m_clientPeer, kClientLink)))
        return false;
    return quiet();
}

bool Soak::startPhase(int phase)
{
    ServerFrm& w = window();
    m_udp = phase % 2 == 1;
    const std::uint32_t seed = m_settings.seed * 1'000'003u + std::uint32_t(phase) * 7u;
    m_streams[kServerLink].emplace(seed + 1);
    m_streams[kClientLink].emplace(seed + 2);
    m_checks[kServerLink].restart(*m_streams[kServerLink], false);
    m_checks[kClientLink].restart(*m_streams[kClientLink], m_udp);

    const qint64 budget = m_settings.megabytes * kMiB / m_phases;
    for (int link = 0; link < kLinkCount; ++link) {
        Feed& feed = m_feeds[link];
        feed = Feed();
        feed.shownBase = link == kClientLink && m_udp ? m_rowCount[link] : m_shownBytes[link];
    }
    m_feeds[kServerLink].budget = m_udp ? 0 : budget * 45 / 100;
    m_feeds[kClientLink].budget = m_udp ? budget * 80 / 100 : budget * 45 / 100;
    m_feeds[kSerialLink].budget = budget * 4 / 100;

    // The transport changes: both sockets close, whatever they were doing, and each that was
    // live says so in its pane.
    m_logged[kServerLink] += closedByTransportChange(*w.Winsock1).size();
    m_logged[kClientLink] += closedByTransportChange(*w.Winsock2).size();
    QTest::mouseClick(m_udp ? w.controls().Option2 : w.controls().Option1, Qt::LeftButton);
    if (w.Winsock1->state() != SocketControl::Closed ||
        w.Winsock2->state() != SocketControl::Closed)
        return fail(QStringLiteral("choosing a transport left a socket open. %1").arg(status()));
    if (w.controls().bntConnect->isEnabled() == m_udp)
        return fail(QStringLiteral("\"Conectar\" is %1 under %2")
                        .arg(m_udp ? u"enabled" : u"disabled", m_udp ? u"UDP" : u"TCP"));
    if (m_serverPeer) {
        if (!closeStreamPeer(m_serverPeer, kServerLink) ||
            !closeStreamPeer(m_clientPeer, kClientLink))
            return false;
    }
    if (m_datagramPeer) {
        if (!checkDatagramPeer())
            return false;
        m_datagramPeer.reset();
    }

    m_phaseClock.start();
    m_phaseFirstRow = w.codeList().rowCount();
    if (m_udp) {
        m_udpPort = freeUdpPort();
        w.controls().txtPort->setText(QString::number(m_udpPort));
        QTest::mouseClick(w.controls().bntListen, Qt::LeftButton);
        if (w.Winsock2->state() != SocketControl::Open)
            return fail(
                QStringLiteral("\"Poner a la escucha\" under UDP bound nothing. %1").arg(status()));
        m_datagramPeer = std::make_unique<DatagramPeer>(m_udpPort, *m_streams[kClientLink]);
        m_toDatagramPeer.clear();
        w.controls().txtIP->setText(QStringLiteral("127.0.0.1"));
        w.controls().txtPort2->setText(QString::number(m_datagramPeer->port()));
        m_feeds[kClientLink].active = true;
    } else {
        // The same port every TCP phase: listening again where the last phase's connections
        // may still linger.
        w.controls().txtPort->setText(QString::number(m_tcpPort));
        QTest::mouseClick(w.controls().bntListen, Qt::LeftButton);
        if (w.Winsock1->state() != SocketControl::Listening)
            return fail(QStringLiteral("the server does not listen. %1").arg(status()));
        w.controls().txtIP->setText(QStringLiteral("127.0.0.1"));
        w.controls().txtPort2->setText(QString::number(m_listener.port()));
        if (!connectServerPeer() || !connectClient())
            return false;
    }
    m_feeds[kSerialLink].active = true;
    return quiet();
}

// The operator acts whenever the window has handled some more chunks, so the session keeps
// pace with the traffic, until the phase's time is up.
bool Soak::runPhase()
{
    const auto over = [this] {
        return m_phaseClock.elapsed() >= m_phaseMs;
    };
    while (!over()) {
        const qint64 next = progress() + uniform(16, 160);
        if (!runUntil([&] { return progress() >= next || over(); },
                      QStringLiteral("the window to handle more chunks")))
            return false;
        if (over())
            break;
        if (!act())
            return false;
    }
    return true;
}

bool Soak::endPhase(int phase)
{
    for (Feed& feed : m_feeds) {
        feed.active = false;
        feed.trickleLeft = 0;
    }
    if (!runUntil(
            [this] {
                for (int link = 0; link < kLinkCount; ++link) {
                    if (!settled(Link(link)))
                        return false;
                }
                return true;
            },
            QStringLiteral("every link to settle at the end of phase %1").arg(phase + 1)))
        return false;

    const qint64 resident = residentBytes();
    const qint64 held = heldBytes();
    const int descriptors = openDescriptors();
    ServerFrm& w = window();
    if (!checkPanes())
        return false;
    // Each link showed exactly what its peers sent: this phase's stream on the sockets, the
    // whole soak's on the serial line.
    const std::array<qint64, kLinkCount> sent = {m_feeds[kServerLink].queued,
                                                 m_udp ? m_feeds[kClientLink].queuedBytes
                                                       : m_feeds[kClientLink].queued,
                                                 m_serialPeer->endOffset()};
    for (int link = 0; link < kLinkCount; ++link) {
        if (m_checks[link].offset() != sent[std::size_t(link)])
            return fail(QStringLiteral("the %1 link showed %2 bytes of the %3 its peers sent")
                            .arg(QLatin1String(kLinkNames[link]))
                            .arg(m_checks[link].offset())
                            .arg(sent[std::size_t(link)]));
    }
    if (m_checks[kClientLink].datagramsLeft() != 0)
        return fail(QStringLiteral("%1 datagrams sent never showed")
                        .arg(m_checks[kClientLink].datagramsLeft()));

    if ((m_serverPeer && !checkPeer(*m_serverPeer, kServerLink)) ||
        (m_clientPeer && !checkPeer(*m_clientPeer, kClientLink)) ||
        !checkPeer(*m_serialPeer, kSerialLink) || (m_datagramPeer && !checkDatagramPeer()))
        return false;
    if (!checkRowsShowTheirCodes(m_phaseFirstRow) || !quiet())
        return false;

    const qint64 grown = resident - m_residentAtStart;
    const qint64 heldGrown = held - m_heldAtStart;
    qInfo("phase %d (%s, %.0f s): server %lld B, client %lld B, serial %lld B; %lld rows, "
          "%d operator actions, %d reconnects; held %.1f MB, resident +%.1f MB, "
          "%d descriptors open",
          phase + 1, m_udp ? "UDP" : "TCP", double(m_phaseClock.elapsed()) / 1000.0,
          m_feeds[kServerLink].queued,
          m_udp ? m_feeds[kClientLink].queuedBytes : m_feeds[kClientLink].queued,
          m_feeds[kSerialLink].queued, w.codeList().rowCount(), m_actions, m_reconnects,
          double(heldGrown) / double(kMiB), double(grown) / double(kMiB), descriptors);
    if (kMemoryIsTheProgramsOwn &&
        double(grown) > kMemoryPerHeldByte * double(heldGrown) + double(kMemorySlack))
        return fail(QStringLiteral("resident memory grew by %1 MB while the window holds %2 MB "
                                   "more (allowed: %3 per byte held + %4 MB)")
                        .arg(double(grown) / double(kMiB), 0, 'f', 1)
                        .arg(double(heldGrown) / double(kMiB), 0, 'f', 1)
                        .arg(kMemoryPerHeldByte)
                        .arg(kMemorySlack / kMiB));
    if (descriptors > m_descriptorsAtStart + kDescriptorSlack)
        return fail(QStringLiteral("%1 descriptors are open, %2 were at the start")
                        .arg(descriptors)
                        .arg(m_descriptorsAtStart));
    return true;
}

bool Soak::settled(Link link)
{
    if (shown(link) != m_feeds[link].queued)
        return false;
    if (link == kClientLink && m_udp)
        return m_datagramPeer->receivedCount() == qint64(m_toDatagramPeer.size());
    const LinePeer* peer = link == kSerialLink ? m_serialPeer.get() : streamPeer(link);
    return !peer || peer->receivedSize() >= m_toPeer[link].size();
}

// What the window has shown of this phase's traffic: bytes, or datagrams under UDP.
qint64 Soak::shown(Link link) const
{
    if (link == kClientLink && m_udp)
        return m_rowCount[link] - m_feeds[link].shownBase;
    return m_shownBytes[link] - m_feeds[link].shownBase;
}

qint64 Soak::progress() const
{
    return m_rowCount[kServerLink] + m_rowCount[kClientLink] + m_rowCount[kSerialLink] / 256;
}

// --- traffic -----------------------------------------------------------------------------

LinePeer* Soak::streamPeer(Link link)
{
    switch (link) {
    case kServerLink:
        return m_serverPeer.get();
    case kClientLink:
        return m_clientPeer.get();
    default:
        return m_serialPeer.get();
    }
}

void Soak::feedAll()
{
    noteRows();
    for (int link = 0; link < kLinkCount; ++link) {
        Feed& feed = m_feeds[link];
        if (!feed.active)
            continue;
        if (link == kClientLink && m_udp)
            feedDatagrams(feed);
        else
            feedStream(Link(link), feed);
    }
}

// Bursts while the budget allows, spread over the phase; trickles of a few bytes, each sent
// once the last has been shown, in between and after.
void Soak::feedStream(Link link, Feed& feed)
{
    LinePeer* peer = streamPeer(link);
    const qint64 backlog = feed.queued - shown(link);
    if (feed.trickleLeft > 0) {
        if (backlog == 0) {
            const qint64 size = uniform(1, 8);
            peer->send(size);
            feed.queued += size;
            --feed.trickleLeft;
        }
        return;
    }
    const bool serial = link == kSerialLink;
    if (backlog > (serial ? 2048 : 256 * 1024))
        return;
    const int pick = uniform(0, 99);
    qint64 size = 0;
    if (serial)
        size = pick < 60 ? uniform(1, 256) : pick < 95 ? uniform(257, 8192) : uniform(8193, 65536);
    else
        size = pick < 60   ? uniform(1, 4096)
               : pick < 90 ? uniform(4097, 256 * 1024)
                           : uniform(256 * 1024 + 1, 2 * 1024 * 1024);
    if (chance(20) || !withinBudget(feed, size)) {
        feed.trickleLeft = uniform(4, 40);
        return;
    }
    peer->send(size);
    feed.queued += size;
    feed.queuedBytes += size;
}

void Soak::feedDatagrams(Feed& feed)
{
    const qint64 backlog = feed.queued - shown(kClientLink);
    std::vector<int> sizes;
    if (feed.trickleLeft > 0) {
        if (backlog != 0)
            return;
        sizes.push_back(uniform(0, 16));
        --feed.trickleLeft;
    } else {
        if (backlog > 4)
            return;
        // A burst small enough for the kernel's buffer even while the window's reader waits
        // for a processor: a datagram that does not fit is dropped, by design of UDP.
        qint64 total = 0;
        for (int i = uniform(1, 32); i > 0; --i) {
            const int pick = uniform(0, 99);
            const int size = pick < 5    ? 0
                             : pick < 60 ? uniform(1, 256)
                             : pick < 95 ? uniform(257, 8192)
                                         : uniform(8193, 65'507);
            if (total + size > kMiB)
                break;
            sizes.push_back(size);
            total += size;
        }
        if (sizes.empty() || chance(20) || !withinBudget(feed, total)) {
            feed.trickleLeft = uniform(4, 40);
            return;
        }
    }
    for (const int size : sizes) {
        m_checks[kClientLink].expectDatagram(size);
        feed.queuedBytes += size;
    }
    m_datagramPeer->send(sizes);
    feed.queued += qint64(sizes.size());
}

bool Soak::withinBudget(const Feed& feed, qint64 size) const
{
    const double share = std::min(1.0, 1.25 * double(m_phaseClock.elapsed()) / double(m_phaseMs));
    const qint64 allowed = std::max<qint64>(64 * 1024, qint64(double(feed.budget) * share));
    return feed.queuedBytes + size <= allowed;
}

// --- the operator ------------------------------------------------------------------------

bool Soak::act()
{
    ++m_actions;
    struct Action {
        int weight;
        std::function<bool()> run;
    };
    std::vector<Action> actions;
    const auto add = [&actions](int weight, std::function<bool()> run) {
        actions.push_back({weight, std::move(run)});
    };
    // What the operator does under either transport; the server frame only talks under TCP.
    add(m_udp ? 30 : 20, [this] { return send(kClientLink); });
    add(20, [this] { return send(kSerialLink); });
    add(5, [this] { return limpiar(); });
    add(2, [this] { return serialReconnects(chance(50)); });
    if (m_udp) {
        add(2, [this] { return datagramPortBoundAgain(); });
    } else {
        add(20, [this] { return send(kServerLink); });
        add(2, [this] { return serverPeerLeaves(); });
        add(1, [this] { return serverListensAgain(); });
        add(3, [this] { return clientReconnects(uniform(0, 2)); });
    }
    int total = 0;
    for (const Action& action : actions)
        total += action.weight;
    int pick = uniform(0, total - 1);
    for (const Action& action : actions) {
        if (pick < action.weight)
            return action.run() && quiet();
        pick -= action.weight;
    }
    return true;
}

// Types a random text into an outgoing box, sometimes finished with "Chr"; what it holds
// then, as bytes.
std::optional<QByteArray> Soak::compose(QLineEdit& box, QRadioButton& destination, bool mayBeEmpty)
{
    ServerFrm& w = window();
    QByteArray text(chance(10) ? 0 : uniform(1, 60), Qt::Uninitialized);
    for (char& byte : text)
        byte = char(uniform(0, 255));
    box.setText(SingleByteCodec::toText(text));
    if (chance(40) || (text.isEmpty() && !mayBeEmpty)) {
        const int code = uniform(0, 255);
        QTest::mouseClick(&destination, Qt::LeftButton);
        w.controls().MaskEdBox6->setText(QString::number(code));
        QTest::mouseClick(w.controls().Command5, Qt::LeftButton);
        text.append(char(code));
    }
    const QByteArray composed =
        OutgoingText::read(box.text(), OutgoingText::formatOf(box).mode).bytes;
    if (composed != text) {
        fail(QStringLiteral("the outgoing box holds %1 where %2 was typed and inserted")
                 .arg(excerpt(composed), excerpt(text)));
        return std::nullopt;
    }
    return text;
}

bool Soak::send(Link link)
{
    ServerFrm& w = window();
    QLineEdit* box = link == kServerLink   ? w.controls().txtSend
                     : link == kClientLink ? w.controls().txtSend2
                                           : w.controls().Text1;
    QRadioButton* destination = link == kServerLink   ? w.controls().Option3
                                : link == kClientLink ? w.controls().Option4
                                                      : w.controls().Option5;
    QPushButton* button = link == kServerLink   ? w.controls().bntSend
                          : link == kClientLink ? w.controls().bntSend2
                                                : w.controls().Command3;
    // The serial "Enviar" refuses an empty text; the socket ones send it.
    const auto text = compose(*box, *destination, link != kSerialLink);
    if (!text)
        return false;
    QTest::mouseClick(button, Qt::LeftButton);
    if (!box->text().isEmpty())
        return fail(QStringLiteral("the %1 \"Enviar\" kept its text. %2")
                        .arg(QLatin1String(kLinkNames[link]), status()));
    if (link != kSerialLink)
        m_logged[link] += kSendPrefix[link].size() + text->size() + 2;
    if (link == kClientLink && m_udp)
        m_toDatagramPeer.push_back(*text);
    else
        m_toPeer[link] += *text;
    return true;
}

// Text2 is checked up to now, then emptied; the line goes on arriving meanwhile.
bool Soak::limpiar()
{
    ServerFrm& w = window();
    if (!checkPanes())
        return false;
    m_cleared += w.controls().Text2->length() + 8 * w.controls().Text2->rowCount();
    QTest::mouseClick(w.controls().Command6, Qt::LeftButton);
    if (w.controls().Text2->length() != 0)
        return fail(
            QStringLiteral("\"Limpiar\" left %1 bytes in Text2").arg(w.controls().Text2->length()));
    m_paneChecked[kSerialLink] = 0;
    m_logged[kSerialLink] = 0;
    return true;
}

// The peer sends what it still has, then leaves; the window shows all of it, says so and
// listens again, and a new peer carries the stream on.
bool Soak::serverPeerLeaves()
{
    ++m_reconnects;
    Feed& feed = m_feeds[kServerLink];
    feed.active = false;
    feed.trickleLeft = 0;
    const int closes = m_seen.serverCloses;
    m_serverPeer->finish();
    if (!runUntil(
            [&] {
                return m_serverPeer->ended() && m_seen.serverCloses == closes + 1 &&
                       window().Winsock1->state() == SocketControl::Listening;
            },
            QStringLiteral("the server's peer to leave and the server to listen again")))
        return false;
    m_logged[kServerLink] += kDisconnected.size();
    if (shown(kServerLink) != feed.queued)
        return fail(QStringLiteral("the server's peer left and %1 of the bytes it sent before "
                                   "leaving were never shown")
                        .arg(feed.queued - shown(kServerLink)));
    return checkPeer(*m_serverPeer, kServerLink) && connectServerPeer();
}

// "Poner a la escucha" while a peer is connected drops it without a line and listens anew.
bool Soak::serverListensAgain()
{
    ++m_reconnects;
    Feed& feed = m_feeds[kServerLink];
    feed.active = false;
    feed.trickleLeft = 0;
    if (!runUntil([this] { return settled(kServerLink); },
                  QStringLiteral("the server link to settle")))
        return false;
    QTest::mouseClick(window().controls().bntListen, Qt::LeftButton);
    if (window().Winsock1->state() != SocketControl::Listening)
        return fail(QStringLiteral("the server does not listen again. %1").arg(status()));
    if (!runUntil([this] { return m_serverPeer->ended(); },
                  QStringLiteral("the dropped peer to see its connection end")))
        return false;
    return checkPeer(*m_serverPeer, kServerLink) && connectServerPeer();
}

bool Soak::connectServerPeer()
{
    const int connections = m_seen.serverConnections;
    const qint64 offset = m_serverPeer ? m_serverPeer->endOffset() : 0;
    const int fd = connectToLoopback(m_tcpPort);
    if (fd < 0)
        return fail(QStringLiteral("the server endpoint refused a peer: %1. %2")
                        .arg(QString::fromLocal8Bit(strerror(errno)), status()));
    m_serverPeer =
        std::make_unique<LinePeer>(fd, LinePeer::Kind::Socket, *m_streams[kServerLink], offset);
    m_toPeer[kServerLink].clear();
    if (!runUntil([&] { return m_seen.serverConnections == connections + 1; },
                  QStringLiteral("the server to take its new peer")))
        return false;
    m_logged[kServerLink] += kServerConnected.size();
    m_feeds[kServerLink].active = true;
    return true;
}

// 0: "Conectar" again while connected; 1: "Desconectar", then "Conectar"; 2: the server at
// the other end leaves mid-stream, then "Conectar".
bool Soak::clientReconnects(int how)
{
    ++m_reconnects;
    ServerFrm& w = window();
    Feed& feed = m_feeds[kClientLink];
    feed.active = false;
    feed.trickleLeft = 0;
    if (how == 2) {
        const int closes = m_seen.clientCloses;
        m_clientPeer->finish();
        if (!runUntil([&] { return m_clientPeer->ended() && m_seen.clientCloses == closes + 1; },
                      QStringLiteral("the client's server to leave")))
            return false;
        m_logged[kClientLink] += kDisconnected.size();
        if (shown(kClientLink) != feed.queued)
            return fail(QStringLiteral("the client's server left and %1 of the bytes it sent "
                                       "before leaving were never shown")
                            .arg(feed.queued - shown(kClientLink)));
    } else {
        if (!runUntil([this] { return settled(kClientLink); },
                      QStringLiteral("the client link to settle")))
            return false;
        if (how == 1) {
            QTest::mouseClick(w.controls().Command1, Qt::LeftButton);
            m_logged[kClientLink] += kDisconnected.size();
        }
    }
    return connectClient();
}

// "Conectar": the old connection, if any, ends at the peer; the new one is taken.
bool Soak::connectClient()
{
    const int connections = m_seen.clientConnections;
    QTest::mouseClick(window().controls().bntConnect, Qt::LeftButton);
    if (m_clientPeer) {
        if (!runUntil([this] { return m_clientPeer->ended(); },
                      QStringLiteral("the client's old connection to end")) ||
            !checkPeer(*m_clientPeer, kClientLink))
            return false;
    }
    int fd = -1;
    if (!runUntil(
            [&] {
                if (fd < 0)
                    fd = m_listener.take();
                return fd >= 0 && m_seen.clientConnections == connections + 1;
            },
            QStringLiteral("the client to connect")))
        return false;
    const qint64 offset = m_clientPeer ? m_clientPeer->endOffset() : 0;
    m_clientPeer =
        std::make_unique<LinePeer>(fd, LinePeer::Kind::Socket, *m_streams[kClientLink], offset);
    m_toPeer[kClientLink].clear();
    m_logged[kClientLink] += kClientConnected.size();
    m_feeds[kClientLink].active = true;
    return true;
}

// "Conectar" on the open port closes and reopens it; or "Desconectar" first. Either comes
// once the line is quiet: characters still on their way when a port closes are dropped on
// purpose.
bool Soak::serialReconnects(bool closeFirst)
{
    ++m_reconnects;
    ServerFrm& w = window();
    Feed& feed = m_feeds[kSerialLink];
    feed.active = false;
    feed.trickleLeft = 0;
    if (!runUntil([this] { return settled(kSerialLink); },
                  QStringLiteral("the serial line to settle")))
        return false;
    if (closeFirst) {
        QTest::mouseClick(w.controls().Command4, Qt::LeftButton);
        m_logged[kSerialLink] += kSerialDisconnected.size();
        if (w.MSComm1->portOpen())
            return fail(QStringLiteral("\"Desconectar\" left the serial port open"));
    }
    QTest::mouseClick(w.controls().Command2, Qt::LeftButton);
    m_logged[kSerialLink] += kSerialConnected.size();
    if (!w.MSComm1->portOpen())
        return fail(QStringLiteral("the serial port did not open again. %1").arg(status()));
    feed.active = true;
    return true;
}

bool Soak::datagramPortBoundAgain()
{
    ++m_reconnects;
    Feed& feed = m_feeds[kClientLink];
    feed.active = false;
    feed.trickleLeft = 0;
    if (!runUntil([this] { return settled(kClientLink); },
                  QStringLiteral("the datagram link to settle")))
        return false;
    QTest::mouseClick(window().controls().bntListen, Qt::LeftButton);
    if (window().Winsock2->state() != SocketControl::Open)
        return fail(QStringLiteral("the datagram port was not bound again. %1").arg(status()));
    feed.active = true;
    return true;
}

// After the transport changed: the peer saw its connection end, with all the operator sent.
bool Soak::closeStreamPeer(std::unique_ptr<LinePeer>& peer, Link link)
{
    if (!runUntil([&] { return peer->ended(); },
                  QStringLiteral("the %1 peer to see the transport change close its connection")
                      .arg(QLatin1String(kLinkNames[link]))))
        return false;
    if (!checkPeer(*peer, link))
        return false;
    peer.reset();
    return true;
}

// --- checks ------------------------------------------------------------------------------

bool Soak::checkPeer(const LinePeer& peer, Link link)
{
    if (!peer.failure().isEmpty())
        return fail(
            QStringLiteral("the %1 peer: %2").arg(QLatin1String(kLinkNames[link]), peer.failure()));
    const QByteArray received = peer.received();
    const QByteArray& sent = m_toPeer[link];
    if (received != sent) {
        qsizetype at = 0;
        while (at < received.size() && at < sent.size() && received[at] == sent[at])
            ++at;
        return fail(QStringLiteral("the %1 peer received %2 bytes where the operator sent %3; "
                                   "they differ from byte %4 on")
                        .arg(QLatin1String(kLinkNames[link]))
                        .arg(received.size())
                        .arg(sent.size())
                        .arg(at));
    }
    return true;
}

bool Soak::checkDatagramPeer()
{
    if (!m_datagramPeer->failure().isEmpty())
        return fail(QStringLiteral("the datagram peer: %1").arg(m_datagramPeer->failure()));
    const std::vector<QByteArray> received = m_datagramPeer->received();
    if (received != m_toDatagramPeer) {
        std::size_t at = 0;
        while (at < received.size() && at < m_toDatagramPeer.size() &&
               received[at] == m_toDatagramPeer[at])
            ++at;
        return fail(QStringLiteral("the datagram peer received %1 datagrams where the operator "
                                   "sent %2; they differ from datagram %3 on")
                        .arg(received.size())
                        .arg(m_toDatagramPeer.size())
                        .arg(at));
    }
    return true;
}

// The rows added since the last check, as the record holds them: each lies in its link's pane
// after the last one checked, as the line its handler writes, and is the next piece of what
// that link's peers sent. Then each pane holds just what was logged to it, nothing more.
bool Soak::checkPanes()
{
    noteRows();
    if (m_unshownRows != 0)
        return fail(QStringLiteral("%1 received chunks have a code row that no pane shows")
                        .arg(m_unshownRows));
    const SessionRecord& record = window().sessionRecord();
    for (; m_rowsChecked < m_rowsSeen; ++m_rowsChecked) {
        const qint64 row = m_rowsChecked;
        const int link = int(record.codeRowLink(row));
        const ::Link pane = ::Link(link);
        const QByteArray bytes = record.codeRowBytes(row);
        const QByteArray shownAs = kRowPrefix[link] + bytes + kRowSuffix[link];
        const qint64 line = RecordProbe::panePosition(record, row) - kRowPrefix[link].size();
        if (line < m_paneChecked[link] || record.paneBytes(pane, line, shownAs.size()) != shownAs)
            return fail(QStringLiteral("%1 shows code row %2 (%3 bytes) at %4, after %5, not as "
                                       "its line: %6")
                            .arg(QLatin1String(kPaneNames[link]))
                            .arg(row)
                            .arg(bytes.size())
                            .arg(line)
                            .arg(m_paneChecked[link])
                            .arg(excerpt(record.paneBytes(pane, line, 48))));
        QString why;
        if (!m_checks[link].take(bytes, &why))
            return fail(QStringLiteral("%1, code row %2: %3")
                            .arg(QLatin1String(kPaneNames[link]))
                            .arg(row)
                            .arg(why));
        m_paneChecked[link] = line + shownAs.size();
        m_logged[link] += shownAs.size();
    }
    for (int link = 0; link < kLinkCount; ++link) {
        if (record.paneSize(::Link(link)) != m_logged[link])
            return fail(QStringLiteral("%1 holds %2 bytes where its rows, the operator's sends "
                                       "and the connection lines make %3")
                            .arg(QLatin1String(kPaneNames[link]))
                            .arg(record.paneSize(::Link(link)))
                            .arg(m_logged[link]));
    }
    return true;
}

// The list shows each row as the codes of its bytes: checked on a sample of the phase's rows.
bool Soak::checkRowsShowTheirCodes(qint64 firstRow)
{
    const CodeList& list = window().codeList();
    const qint64 rows = list.rowCount();
    for (int i = 0; i < 300 && firstRow < rows; ++i) {
        const qint64 row = firstRow + qint64(m_random() % quint64(rows - firstRow));
        const QByteArray bytes = list.rows().head(row, 64 * 1024);
        if (bytes.size() != list.rows().length(row))
            continue;
        if (rowText(list, row) != codesOf(bytes))
            return fail(QStringLiteral("code row %1 reads %2 for the bytes %3")
                            .arg(row)
                            .arg(rowText(list, row).left(80), excerpt(bytes)));
    }
    return true;
}

// What the window holds, in bytes: the panes' and the list's stores, an offset per row of the
// list and per wrapped row of each pane, and everything "Limpiar" has freed (the heap may keep
// it for reuse).
qint64 Soak::heldBytes() const
{
    const ServerFrm& w = *m_window->window;
    const CodeList& list = w.codeList();
    qint64 held = w.controls().Text2->length() + w.controls().Text3->length() +
                  w.controls().Text4->length() + list.rows().byteCount();
    held += 8 * (list.rowCount() + w.controls().Text2->rowCount() + w.controls().Text3->rowCount() +
                 w.controls().Text4->rowCount());
    held += m_cleared;
    return held;
}

} // namespace soak
