// Renders the real window to a PNG file, after a short real exchange on every link: the
// server and client frames talk over loopback, and a pseudo-terminal plays a serial device.
// Usage: render_screenshot OUTPUT.png

#include "app/MemoryPolicy.h"
#include "app/ServerFrm.h"
#include "app/ServerFrmControls.h"
#include "views/LogPane.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTemporaryDir>

#include <pty.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

namespace {

bool waitUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 5000)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

bool contains(const LogPane& pane, const char* text)
{
    return pane.text().contains(QString::fromUtf8(text));
}

} // namespace

int main(int argc, char* argv[])
{
    keepLargeBuffersForReuse();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);

    // A serial device: a pseudo-terminal reached as port 1 through a com1 alias.
    QTemporaryDir devices;
    int master = -1;
    int slave = -1;
    char name[256] = {};
    const bool haveSerial =
        openpty(&master, &slave, name, nullptr, nullptr) == 0 &&
        QFile::link(QString::fromLocal8Bit(name), devices.filePath(QStringLiteral("com1")));
    ServerFrmPlatform platform;
    platform.serialDeviceDirectory = devices.path();
    ServerFrm w(std::move(platform));
    w.show();

    QTcpServer probe;
    probe.listen(QHostAddress::Any, 0);
    const QString port = QString::number(probe.serverPort());
    probe.close();

    w.controls().Option1->click();
    w.controls().txtPort->setText(port);
    w.controls().bntListen->click();
    w.controls().txtIP->setText(QStringLiteral("127.0.0.1"));
    w.controls().txtPort2->setText(port);
    w.controls().bntConnect->click();
    bool ok = waitUntil([&] { return contains(*w.controls().Text4, "Conectado a"); });
    w.controls().txtSend2->setText(QStringLiteral("GET /estado"));
    w.controls().bntSend2->click();
    ok = ok && waitUntil([&] { return contains(*w.controls().Text3, "Cliente : GET /estado"); });
    w.controls().txtSend->setText(QStringLiteral("OK T=23,5 °C"));
    w.controls().bntSend->click();
    ok = ok && waitUntil([&] { return contains(*w.controls().Text4, "Servidor : OK"); });

    if (haveSerial) {
        w.controls().MaskEdBox1->setText(QStringLiteral("1"));
        w.controls().MaskEdBox5->setText(QStringLiteral("9600"));
        w.controls().MaskEdBox2->setText(QStringLiteral("8"));
        w.controls().MaskEdBox3->setText(QStringLiteral("0"));
        w.controls().MaskEdBox4->setText(QStringLiteral("1"));
        w.controls().Command2->click();
        const QByteArray line = "AT+VER?\r\nv1.4.2 OK\r\n";
        ok = ok && ::write(master, line.constData(), std::size_t(line.size())) == line.size();
        ok = ok && waitUntil([&] { return contains(*w.controls().Text2, "OK"); });
    }
    w.controls().Option5->click();
    w.controls().MaskEdBox6->setText(QStringLiteral("13"));
    w.controls().Text1->setText(QStringLiteral("AT+RST"));
    waitUntil([] { return false; }); // let the views settle before the picture

    const bool saved = w.grab().save(output);
    if (master >= 0)
        ::close(master);
    if (slave >= 0)
        ::close(slave);
    if (!ok)
        std::fprintf(stderr, "the exchange did not complete; the picture shows what there is\n");
    return saved ? 0 : 1;
}
