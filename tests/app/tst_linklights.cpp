// The lamp beside each link frame's caption: what it shows and says for each state of its link,
// a failure for a moment, and what assistive technology gets of it.

#include "support/Network.h"
#include "support/SerialBench.h"
#include "support/WindowUnderTest.h"
#include "support/peers/Loopback.h"
#include "views/StateLight.h"

#include <QAccessible>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <unistd.h>

#include <memory>
#include <vector>

using Lamp = StateLight::Lamp;

namespace {

// "amber|Escuchando en el puerto 6000 (TCP)": a lamp and its words, as the rows write them.
LightState lampOf(const QString& row)
{
    static const QMap<QString, Lamp> lamps{{u"off"_qs, Lamp::Off},
                                           {u"amber"_qs, Lamp::Amber},
                                           {u"green"_qs, Lamp::Green},
                                           {u"red"_qs, Lamp::Red}};
    return {lamps.value(row.section(u'|', 0, 0)), row.section(u'|', 1)};
}

LightState shown(const StateLight& light)
{
    return {light.lamp(), light.text()};
}

StateLight& lamp(ServerFrm& w, const char* name)
{
    auto* light = w.findChild<StateLight*>(QLatin1StringView(name));
    Q_ASSERT(light);
    return *light;
}

// The ports a scene opens, put into the rows' texts.
struct Ports {
    quint16 tcp = 0;
    quint16 udp = 0;
    quint16 remote = 0;
    QString fill(QString text) const
    {
        return text.replace(u"{tcp}"_qs, QString::number(tcp))
            .replace(u"{udp}"_qs, QString::number(udp))
            .replace(u"{remote}"_qs, QString::number(remote));
    }
};

// The other ends a scene needs, kept for as long as the test looks at the lamps.
struct Ends {
    QTcpSocket serversPeer;
    QTcpServer remote;
    std::unique_ptr<LoopbackListener> hanging;
    int filler = -1;
    ~Ends()
    {
        if (filler >= 0)
            ::close(filler);
    }
};

// Brings the window's links where the scene says.
void play(const QString& scene, SerialBench& bench, Ends& ends, Ports& ports)
{
    WindowUnderTest& w = *bench.w;
    if (scene == u"listener" || scene == u"peer" || scene == u"transport") {
        ports.tcp = listenUnderTcp(w);
        if (scene != u"listener") {
            ends.serversPeer.connectToHost(QHostAddress::LocalHost, ports.tcp);
            QTRY_COMPARE(w->Winsock1->state(), SocketControl::Connected);
        }
        if (scene == u"transport")
            QTest::mouseClick(w.ui->Option2, Qt::LeftButton);
    } else if (scene == u"connecting") {
        // A listener whose accept queue is full: the handshake hangs.
        ends.hanging = std::make_unique<LoopbackListener>(0);
        ports.remote = ends.hanging->port();
        ends.filler = connectToLoopback(ports.remote);
        connectClient(w, u"127.0.0.1"_qs, ports.remote);
    } else if (scene == u"connected" || scene == u"connected6") {
        const bool six = scene == u"connected6";
        QVERIFY(ends.remote.listen(six ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost, 0));
        ports.remote = ends.remote.serverPort();
        connectClient(w, six ? u"::1"_qs : u"127.0.0.1"_qs, ports.remote);
        QTRY_COMPARE(w->Winsock2->state(), SocketControl::Connected);
    } else if (scene == u"udp") {
        QTest::mouseClick(w.ui->Option2, Qt::LeftButton);
        ports.udp = freeUdpPort();
        listenOn(w, ports.udp);
    } else if (scene == u"serial" || scene == u"serial closed") {
        bench.connect();
        if (scene == u"serial closed")
            QTest::mouseClick(w.ui->Command4, Qt::LeftButton);
    }
}

struct Heard {
    QObject* object;
    QAccessible::Event type;
};
std::vector<Heard> g_heard;

void hear(QAccessibleEvent* event)
{
    g_heard.push_back({event->object(), event->type()});
}

} // namespace

char* toString(const LightState& state)
{
    static const char* const lamps[] = {"off", "amber", "green", "red"};
    return QTest::toString(
        QStringLiteral("%1|%2").arg(QLatin1StringView(lamps[int(state.lamp)]), state.text));
}

class TestLinkLights : public QObject {
    Q_OBJECT

private slots:
    void eachLampSaysWhatItsLinkDoes_data()
    {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("client");
        QTest::addColumn<QString>("serial");
        const QString closed = u"off|Cerrado"_qs;
        QTest::newRow("at start") << u"start"_qs << closed << closed << closed;
        QTest::newRow("listening")
            << u"listener"_qs << u"amber|Escuchando en el puerto {tcp} (TCP)"_qs << closed
            << closed;
        QTest::newRow("a peer connected")
            << u"peer"_qs << u"green|Cliente 127.0.0.1 conectado al puerto {tcp} (TCP)"_qs << closed
            << closed;
        QTest::newRow("connecting")
            << u"connecting"_qs << closed << u"amber|Conectando a 127.0.0.1:{remote}"_qs << closed;
        QTest::newRow("connected")
            << u"connected"_qs << closed << u"green|Conectado a 127.0.0.1:{remote}"_qs << closed;
        QTest::newRow("connected over IPv6")
            << u"connected6"_qs << closed << u"green|Conectado a [::1]:{remote}"_qs << closed;
        // Under UDP both frames use the one socket the server frame bound.
        QTest::newRow("a bound UDP port")
            << u"udp"_qs << u"amber|Escuchando en el puerto {udp} (UDP)"_qs
            << u"amber|Escuchando en el puerto {udp} (UDP)"_qs << closed;
        QTest::newRow("serial port open")
            << u"serial"_qs << closed << closed << u"green|COM5 abierto a 9600,n,8,1"_qs;
        QTest::newRow("serial port closed") << u"serial closed"_qs << closed << closed << closed;
        QTest::newRow("closed by a change of transport")
            << u"transport"_qs << closed << closed << closed;
    }
    void eachLampSaysWhatItsLinkDoes()
    {
        QFETCH(QString, scene);
        QFETCH(QString, server);
        QFETCH(QString, client);
        QFETCH(QString, serial);
        if (scene == u"connected6" && !haveLoopback(QHostAddress::LocalHostIPv6))
            QSKIP("this machine has no IPv6 loopback");
        SerialBench bench;
        Ends ends;
        Ports ports;
        play(scene, bench, ends, ports);
        if (QTest::currentTestFailed())
            return;
        ServerFrm& w = bench.window();
        QCOMPARE(shown(lamp(w, "serverLight")), lampOf(ports.fill(server)));
        QCOMPARE(shown(lamp(w, "clientLight")), lampOf(ports.fill(client)));
        QCOMPARE(shown(lamp(w, "serialLight")), lampOf(ports.fill(serial)));
        QVERIFY(bench.shown().empty());
    }

    // A failure or a loss shows red, with what happened, for a moment; then the link's state.
    void aFailureShowsRedForAMomentThenTheState_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("light");
        QTest::addColumn<QString>("red"); // what the red lamp's text holds
        QTest::addColumn<QString>("after");
        QTest::newRow("the peer leaves the server")
            << u"peer leaves"_qs << u"serverLight"_qs << u"El cliente cerró la conexión"_qs
            << u"amber|Escuchando en el puerto {tcp} (TCP)"_qs;
        QTest::newRow("a listen refused") << u"listen refused"_qs << u"serverLight"_qs
                                          << u"ya está en uso"_qs << u"off|Cerrado"_qs;
        QTest::newRow("a connection refused") << u"connection refused"_qs << u"clientLight"_qs
                                              << u"rechazó la conexión"_qs << u"off|Cerrado"_qs;
        QTest::newRow("the server closes the connection")
            << u"server leaves"_qs << u"clientLight"_qs << u"El servidor cerró la conexión"_qs
            << u"off|Cerrado"_qs;
        QTest::newRow("a send refused") << u"send refused"_qs << u"clientLight"_qs
                                        << u"No hay ninguna conexión"_qs << u"off|Cerrado"_qs;
        QTest::newRow("the serial device lost")
            << u"serial lost"_qs << u"serialLight"_qs << u"Se perdió la comunicación"_qs
            << u"off|Cerrado"_qs;
        QTest::newRow("a serial Conectar refused")
            << u"serial refused"_qs << u"serialLight"_qs << u"No se encontró el puerto COM3"_qs
            << u"off|Cerrado"_qs;
    }
    void aFailureShowsRedForAMomentThenTheState()
    {
        QFETCH(QString, failure);
        QFETCH(QString, light);
        QFETCH(QString, red);
        QFETCH(QString, after);
        SerialBench bench;
        WindowUnderTest& w = *bench.w;
        Ends ends;
        Ports ports;
        if (failure == u"peer leaves") {
            play(u"peer"_qs, bench, ends, ports);
            ends.serversPeer.disconnectFromHost();
        } else if (failure == u"listen refused") {
            QTcpServer squatter;
            QVERIFY(squatter.listen(QHostAddress::Any, 0));
            QTest::mouseClick(w.ui->Option1, Qt::LeftButton);
            listenOn(w, squatter.serverPort());
        } else if (failure == u"connection refused") {
            connectClient(w, u"127.0.0.1"_qs, freeTcpPort());
        } else if (failure == u"server leaves") {
            play(u"connected"_qs, bench, ends, ports);
            QTRY_VERIFY(ends.remote.hasPendingConnections());
            ends.remote.nextPendingConnection()->disconnectFromHost();
        } else if (failure == u"send refused") {
            QTest::mouseClick(w.ui->Option1, Qt::LeftButton);
            w.ui->txtSend2->setText(u"hola"_qs);
            QTest::mouseClick(w.ui->bntSend2, Qt::LeftButton);
        } else if (failure == u"serial lost") {
            play(u"serial"_qs, bench, ends, ports);
            bench.line.vanish();
        } else {
            play(u"serial"_qs, bench, ends, ports);
            w.ui->MaskEdBox1->setText(u"3"_qs);
            QTest::mouseClick(w.ui->Command2, Qt::LeftButton);
        }
        StateLight& shownLamp = lamp(*w, qPrintable(light));
        QTRY_COMPARE(shownLamp.lamp(), Lamp::Red);
        QVERIFY2(shownLamp.text().contains(red), qPrintable(shownLamp.text()));
        QTRY_COMPARE_WITH_TIMEOUT(shown(shownLamp), lampOf(ports.fill(after)),
                                  StateLight::kFailureMs * 2);
    }

    // Screen readers find each lamp by its name, read what it says as its description, and
    // are told of each change. (Changes reach an accessibility bridge only where the platform
    // has one active; offscreen there is none, and what a bridge would read is checked.)
    void assistiveTechnologyReadsEachLampAndHearsItChange()
    {
        QAccessible::installUpdateHandler(hear);
        g_heard.clear();
        WindowUnderTest w;
        const std::pair<const char*, QString> names[] = {
            {"serverLight", u"Estado del servidor"_qs},
            {"clientLight", u"Estado del cliente"_qs},
            {"serialLight", u"Estado del puerto serie"_qs},
        };
        for (const auto& [name, accessibleName] : names) {
            QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&lamp(*w, name));
            QVERIFY(face);
            QCOMPARE(face->text(QAccessible::Name), accessibleName);
            QCOMPARE(face->text(QAccessible::Description), u"Cerrado"_qs);
            QCOMPARE(face->role(), QAccessible::StatusBar);
        }

        StateLight& server = lamp(*w, "serverLight");
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&server);
        const auto heard = [&server] {
            return std::count_if(g_heard.begin(), g_heard.end(), [&server](const Heard& event) {
                return event.object == &server && event.type == QAccessible::DescriptionChanged;
            });
        };
        const quint16 port = listenUnderTcp(w);
        QCOMPARE(face->text(QAccessible::Description),
                 u"Escuchando en el puerto %1 (TCP)"_qs.arg(port));
        QTest::mouseClick(w.ui->Option2, Qt::LeftButton);
        QCOMPARE(face->text(QAccessible::Description), u"Cerrado"_qs);
        if (QAccessible::isActive())
            QCOMPARE(heard(), 2);
        QAccessible::installUpdateHandler(nullptr);
    }

    // The lamps stand on the frames' top borders, right after the captions: no control of
    // the design moves, none is covered, and the lamps take no focus.
    void theLampsStandBesideTheCaptionsAndCoverNothing()
    {
        WindowUnderTest w;
        for (const char* name : {"serverLight", "clientLight", "serialLight"}) {
            StateLight& light = lamp(*w, name);
            QVERIFY(light.isVisible());
            QCOMPARE(light.focusPolicy(), Qt::NoFocus);
            auto* frame = qobject_cast<QGroupBox*>(light.parentWidget());
            QVERIFY(frame);
            const int captionEnd =
                6 + QFontMetrics(frame->font()).horizontalAdvance(frame->title());
            QVERIFY2(light.x() > captionEnd && light.x() < captionEnd + 20,
                     qPrintable(u"%1 at x=%2"_qs.arg(QLatin1StringView(name)).arg(light.x())));
            for (const QWidget* other : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                QVERIFY2(other == &light || !other->geometry().intersects(light.geometry()),
                         qPrintable(other->objectName()));
        }
    }
};

QTEST_MAIN(TestLinkLights)
#include "tst_linklights.moc"
