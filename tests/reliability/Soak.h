// The soak: the real window, offscreen, with its three links busy at once for a few minutes
// while an operator's session is replayed on it; then proof that no received byte was lost,
// repeated or reordered on its way to the panes and the code list, that everything the
// operator sent reached its peer, and that memory stayed in proportion to what the window
// holds.
//
// Phases alternate the transport, as the window lets only one be chosen at a time. Under TCP a
// peer streams to the server endpoint while the client endpoint is connected to a loopback
// server that streams back; under UDP a peer sends datagrams to the port that "Poner a la
// escucha" binds. The serial link, a pseudo-terminal behind port 5, streams through every phase.
// Each peer runs on a thread of its own and mixes bursts (up to 2 MB on a socket, 64 KB on the
// line) with trickles of a few bytes; meanwhile the operator sends on every link (some texts
// finished with "Chr"), presses "Limpiar", and reconnects: the server's peer leaves and another
// comes, "Poner a la escucha" drops a peer, the client reconnects three ways, the serial port is
// reopened, the datagram port is bound again.
//
// Run by CTest under the label "soak" only (scripts/soak.sh; the normal test command leaves it
// out), which gives it 15 minutes; run the program itself for longer soaks.
//   QUORVANE_SOAK_SECONDS    how long the phases run in all (default 150)
//   QUORVANE_SOAK_MEGABYTES  how much the peers send in bursts in all (default 128), spread
//                            over the phases: a longer run trickles more, it does not hold more
//   QUORVANE_SOAK_SEED       the seed of the replay (default 1)

#pragma once

#include "app/MemoryPolicy.h"
#include "base/SingleByteCodec.h"
#include "codes/CodeList.h"
#include "record/SessionRecord.h"
#include "serial/QtSerialControl.h"
#include "serial/SerialPortNumbering.h"
#include "support/ListRows.h"
#include "support/RecordProbe.h"
#include "support/WindowUnderTest.h"
#include "support/peers/DatagramPeer.h"
#include "support/peers/LinePeer.h"
#include "support/peers/Loopback.h"
#include "views/LogPane.h"
#include "views/OutgoingText.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <array>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <vector>

namespace soak {

constexpr qint64 kMiB = 1024 * 1024;
// How long any one wait may take before the soak calls it a hang.
constexpr int kPatienceMs = 120'000;
// What memory may grow by beyond what the window holds: the toolkit's caches, buffers kept
// for reuse, the last, partly filled block of each store.
constexpr double kMemoryPerHeldByte = 1.25;
constexpr qint64 kMemorySlack = 64 * kMiB;
// Under AddressSanitizer freed memory waits in its quarantine and every allocation carries
// shadow and red zones: resident memory then says nothing about the program's own.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryIsTheProgramsOwn = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMemoryIsTheProgramsOwn = false;
#else
constexpr bool kMemoryIsTheProgramsOwn = true;
#endif
#else
constexpr bool kMemoryIsTheProgramsOwn = true;
#endif
// Sockets and pipes come and go with every reconnect; a few more may be open at a phase's end
// than at the start (the phase's own peers), never a growing number.
constexpr int kDescriptorSlack = 16;

enum Link { kServerLink, kClientLink, kSerialLink, kLinkCount };

struct SoakSettings {
    int seconds = 150;
    qint64 megabytes = 128;
    std::uint32_t seed = 1;
};

// The settings the environment asks for, as above; the defaults otherwise.
SoakSettings settingsFromEnvironment();

// What one link's rows must add up to: its peers' stream from where the last check stopped,
// and for datagrams also where each one ends.
class StreamCheck {
public:
    void restart(const PeerStream& stream, bool byDatagram)
    {
        m_stream = stream;
        m_offset = 0;
        m_byDatagram = byDatagram;
        m_datagrams.clear();
    }
    void expectDatagram(int size) { m_datagrams.push_back(size); }
    qint64 offset() const { return m_offset; }
    qint64 datagramsLeft() const { return qint64(m_datagrams.size()); }

    bool take(QByteArrayView row, QString* why)
    {
        if (m_byDatagram) {
            if (m_datagrams.empty()) {
                *why = QStringLiteral("a datagram the peer never sent");
                return false;
            }
            if (row.size() != m_datagrams.front()) {
                *why = QStringLiteral("%1 bytes where the next datagram sent had %2")
                           .arg(row.size())
                           .arg(m_datagrams.front());
                return false;
            }
            m_datagrams.pop_front();
        }
        m_expected.resize(row.size());
        m_stream->fill(m_offset, m_expected.data(), row.size());
        if (std::memcmp(m_expected.constData(), row.data(), std::size_t(row.size())) != 0) {
            qsizetype at = 0;
            while (m_expected[at] == row[at])
                ++at;
            *why = QStringLiteral("byte %1 of what the peer sent was %2, received as %3")
                       .arg(m_offset + at)
                       .arg(static_cast<unsigned char>(m_expected[at]))
                       .arg(static_cast<unsigned char>(row[at]));
            return false;
        }
        m_offset += row.size();
        return true;
    }

private:
    std::optional<PeerStream> m_stream;
    qint64 m_offset = 0;
    bool m_byDatagram = false;
    std::deque<int> m_datagrams;
    QByteArray m_expected;
};

// What a link is asked to carry in the current phase.
struct Feed {
    bool active = false;
    qint64 queued = 0; // bytes; datagrams under UDP
    qint64 queuedBytes = 0;
    qint64 shownBase = 0;
    qint64 budget = 0;
    int trickleLeft = 0;
};

// Things the window told, counted as they happen.
struct Seen {
    int serverConnections = 0;
    int serverCloses = 0;
    int clientConnections = 0;
    int clientCloses = 0;
    QStringList errors;
};

class Soak {
public:
    explicit Soak(const SoakSettings& settings);
    ~Soak();

    bool run();
    const QString& failure() const { return m_failure; }

private:
    ServerFrm& window() { return **m_window; }
    bool fail(const QString& why)
    {
        if (m_failure.isEmpty())
            m_failure = why;
        return false;
    }
    bool runUntil(const std::function<bool()>& done, const QString& what,
                  int timeoutMs = kPatienceMs);
    QString status();

    bool setUp();
    void noteRows();
    bool quiet();

    // Phases.
    bool startPhase(int phase);
    bool runPhase();
    bool endPhase(int phase);
    bool settled(Link link);
    qint64 shown(Link link) const;
    qint64 progress() const;

    // Traffic.
    void feedAll();
    void feedStream(Link link, Feed& feed);
    void feedDatagrams(Feed& feed);
    bool withinBudget(const Feed& feed, qint64 size) const;
    LinePeer* streamPeer(Link link);

    // The operator.
    bool act();
    std::optional<QByteArray> compose(QLineEdit& box, QRadioButton& destination, bool mayBeEmpty);
    bool send(Link link);
    bool limpiar();
    bool serverPeerLeaves();
    bool serverListensAgain();
    bool connectServerPeer();
    bool clientReconnects(int how);
    bool connectClient();
    bool serialReconnects(bool closeFirst);
    bool datagramPortBoundAgain();
    bool closeStreamPeer(std::unique_ptr<LinePeer>& peer, Link link);

    // Checks.
    bool checkPeer(const LinePeer& peer, Link link);
    bool checkDatagramPeer();
    bool checkPanes();
    bool checkRowsShowTheirCodes(qint64 firstRow);
    qint64 heldBytes() const;

    int uniform(int low, int high) { return std::uniform_int_distribution(low, high)(m_random); }
    bool chance(int percent) { return uniform(0, 99) < percent; }

    SoakSettings m_settings;
    int m_phases = 2;
    qint64 m_phaseMs = 0;
    bool m_udp = false;
    std::mt19937 m_random;
    QString m_failure;

    QTemporaryDir m_devices;
    int m_slave = -1;
    std::unique_ptr<WindowUnderTest> m_window;
    // Holds the soak's own connections to the window's controls.
    std::unique_ptr<QObject> m_context = std::make_unique<QObject>();

    quint16 m_tcpPort = 0;
    quint16 m_udpPort = 0;
    LoopbackListener m_listener;
    std::array<std::optional<PeerStream>, kLinkCount> m_streams;
    std::unique_ptr<LinePeer> m_serverPeer;
    std::unique_ptr<LinePeer> m_clientPeer;
    std::unique_ptr<LinePeer> m_serialPeer;
    std::unique_ptr<DatagramPeer> m_datagramPeer;

    // Rows and their bytes per link, as the record attributes them; rows no pane showed.
    std::array<qint64, kLinkCount> m_rowCount{};
    std::array<qint64, kLinkCount> m_shownBytes{};
    qint64 m_rowsSeen = 0;
    qint64 m_unshownRows = 0;
    // Rows checked so far; where the last checked one ends in each pane; what each pane must
    // hold: the lines of its rows, the operator's sends and the connection lines.
    qint64 m_rowsChecked = 0;
    std::array<qint64, kLinkCount> m_paneChecked{};
    std::array<qint64, kLinkCount> m_logged{};
    std::array<StreamCheck, kLinkCount> m_checks;
    std::array<Feed, kLinkCount> m_feeds;
    // What the operator sent to the current peer of each link; datagrams one by one.
    std::array<QByteArray, kLinkCount> m_toPeer;
    std::vector<QByteArray> m_toDatagramPeer;
    Seen m_seen;
    QElapsedTimer m_phaseClock;
    qint64 m_phaseFirstRow = 0;

    qint64 m_cleared = 0;
    qint64 m_residentAtStart = 0;
    qint64 m_heldAtStart = 0;
    int m_descriptorsAtStart = 0;
    int m_actions = 0;
    int m_reconnects = 0;
};

} // namespace soak
