#include "codes/CodeList.h"
#include "codes/CodeListView.h"
#include "codes/SessionCapture.h"
#include "codes/SessionCsv.h"
#include "record/SessionRecord.h"
#include "record/SessionSaveBinding.h"
#include "support/ByteSamples.h"
#include "support/Saving.h"
#include "support/WindowUnderTest.h"
#include "support/peers/Loopback.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <optional>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QString kChildArgument = QStringLiteral("--capture-child");

// The session CSV of the window's rows from fromRow on, as "Guardar como…" writes it.
QByteArray sessionCsvFrom(ServerFrm& w, qint64 fromRow)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("esperado.csv"));
    saveAndWait(path, sessionCsvContent(sessionSource(w.sessionRecord().snapshot(), fromRow)));
    return fileBytes(path);
}

// The bytes of the given link's rows of a session CSV, joined, read back from the hexadecimal
// codes; a row cut short at the end (a killed writer) is left out.
QByteArray capturedBytes(const QByteArray& csv, const QString& link)
{
    static const QRegularExpression row(
        QStringLiteral("^[^,]*,([^,]*),\\d+,\"[^\"]*\",\"([^\"]*)\""));
    QByteArray bytes;
    const QString text = QString::fromUtf8(csv);
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QRegularExpressionMatch match = row.match(lines[i]);
        if (!match.hasMatch() || match.captured(1) != link)
            continue;
        bytes += QByteArray::fromHex(match.captured(2).remove(u',').toLatin1());
    }
    return bytes;
}

// The program killed in the middle of a capture: a window listening on a free port that
// captures to path from the start, telling on its standard output the port ("port N"), then
// the bytes it has received each time more came ("got N").
int runCaptureChild(const QString& path)
{
    ServerFrmPlatform platform;
    platform.askSavePath = [path](QWidget*, const QString&, const QString&) {
        return path;
    };
    WindowUnderTest w(std::move(platform));
    w->sessionCapture().action()->trigger();
    const quint16 port = listenUnderTcp(w);
    // After the window's own handler: the chunk is in the record.
    QObject::connect(w->Winsock1.get(), &SocketControl::dataArrival, [&w] {
        std::printf("got %lld\n", w->sessionRecord().codeRowBytesTotal());
        std::fflush(stdout);
    });
    std::printf("port %d\n", port);
    std::fflush(stdout);
    return QApplication::exec();
}

// Root may write anywhere: for a folder it may not write into, the calling thread, and the
// threads it starts meanwhile, leave permissions to the folder's mode until this ends.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride()
    {
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_lowered = ::syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~WithoutPermissionOverride()
    {
        if (m_lowered)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    WithoutPermissionOverride(const WithoutPermissionOverride&) = delete;
    WithoutPermissionOverride& operator=(const WithoutPermissionOverride&) = delete;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_lowered = false;
};

} // namespace

class TestCapture : public QObject {
    Q_OBJECT

private slots:
    // "Grabar en archivo…" writes every chunk as it arrives, as session CSV, byte for byte what
    // "Guardar como…" would write for the same rows; with the session first if the operator
    // says so (asked only when the session holds rows). The entry is checked and names the
    // file meanwhile. Choosing it again stops: what arrives later is not written. Closing
    // while it runs hands it everything received, so nothing in the file is asked about.
    void aCaptureWritesEveryChunkToItsFile_data()
    {
        QTest::addColumn<QByteArray>("before"); // received before the capture
        QTest::addColumn<int>("answer");        // CaptureStart
        QTest::addColumn<QString>("ending");    // "stop" or "close"
        QTest::addColumn<QString>("closeAsks"); // in the close question; empty: nothing asked
        const int fromNow = int(CaptureStart::FromNow);
        const int withSession = int(CaptureStart::WithSession);
        QTest::newRow("nothing before, stopped")
            << QByteArray() << fromNow << u"stop"_qs << QString();
        QTest::newRow("nothing before, window closed")
            << QByteArray() << fromNow << u"close"_qs << QString();
        QTest::newRow("Solo lo que llegue, stopped")
            << QByteArray("AB") << fromNow << u"stop"_qs << QString();
        QTest::newRow("Solo lo que llegue, window closed")
            << QByteArray("AB") << fromNow << u"close"_qs
            << u"no está guardado: 2 bytes en 1 fila."_qs;
        QTest::newRow("Todo, desde el principio, stopped")
            << QByteArray("AB") << withSession << u"stop"_qs << QString();
        QTest::newRow("Todo, desde el principio, window closed")
            << QByteArray("AB") << withSession << u"close"_qs << QString();
        QTest::newRow("Cancelar") << QByteArray("AB") << int(CaptureStart::Cancel) << QString()
                                  << QString();
    }
    void aCaptureWritesEveryChunkToItsFile()
    {
        QFETCH(QByteArray, before);
        QFETCH(int, answer);
        QFETCH(QString, ending);
        QFETCH(QString, closeAsks);
        QTemporaryDir folder;
        const QString path = folder.filePath(u"captura.csv"_qs);
        QStringList suggested;
        ServerFrmPlatform platform;
        platform.askSavePath = [&](QWidget*, const QString& name, const QString&) {
            suggested << name;
            return path;
        };
        auto w = std::make_unique<WindowUnderTest>(std::move(platform));
        w->captureQuestions->answer = CaptureStart(answer);
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, listenUnderTcp(*w));
        QVERIFY(peer.waitForConnected(5000));
        const auto receive = [&](const QByteArray& bytes) {
            const qint64 total = (*w)->sessionRecord().codeRowBytesTotal() + bytes.size();
            peer.write(bytes);
            QTRY_COMPARE((*w)->sessionRecord().codeRowBytesTotal(), total);
        };
        if (!before.isEmpty())
            receive(before);

        QAction* entry = (*w)->sessionCapture().action();
        entry->trigger();
        QCOMPARE(suggested, QStringList{u"captura.csv"_qs});
        QCOMPARE(w->captureQuestions->asked.size(), std::size_t(before.isEmpty() ? 0 : 1));
        if (!before.isEmpty())
            QVERIFY(w->captureQuestions->asked[0].startsWith(
                u"La sesión tiene ya 1 fila recibida (2 bytes). ¿Se escriben también en «captura.csv»"_qs));
        if (ending.isEmpty()) {
            QVERIFY(!entry->isChecked());
            QCOMPARE(entry->text(), u"Grabar en archivo…"_qs);
            QVERIFY(!QFile::exists(path));
            return;
        }
        QVERIFY(
            contextMenuOf(*w->ui->ListView1).contains(u"Grabar en archivo «captura.csv» (✓)"_qs));
        const qint64 fromRow =
            CaptureStart(answer) == CaptureStart::WithSession ? 0 : (*w)->codeList().rowCount();

        receive("CD");
        receive(varied(70'000) + "\r\n");
        if (ending == u"close") {
            // At once: what has not been handed over yet goes as the window closes.
            w->closeQuestions->answers = {CloseAnswer::CloseWithoutSaving};
            const QByteArray expected = sessionCsvFrom(**w, fromRow);
            QVERIFY((*w)->close() || !closeAsks.isEmpty());
            QCOMPARE(w->closeQuestions->asked.size(), std::size_t(closeAsks.isEmpty() ? 0 : 1));
            if (!closeAsks.isEmpty())
                QVERIFY2(w->closeQuestions->asked[0].contains(closeAsks),
                         qPrintable(w->closeQuestions->asked[0]));
            w.reset();
            QCOMPARE(fileBytes(path), expected);
            return;
        }
        QByteArray expected = sessionCsvFrom(**w, fromRow);
        QTRY_COMPARE(fileBytes(path), expected);
        entry->trigger();
        QVERIFY(!entry->isChecked());
        QCOMPARE(entry->text(), u"Grabar en archivo…"_qs);
        receive("GH");
        QCOMPARE(fileBytes(path), expected);
        QVERIFY(w->messages->shown.empty());
    }

    // A file that cannot be written any more is told once, in Spanish; the capture stops, the
    // session keeps every byte, and another file can be chosen at once.
    void aFailedCaptureIsToldOnceAndNothingIsLost_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("removeFolder"); // after the first chunk is in the file
        QTest::addColumn<int>("sizeLimit");     // of every file, until the failure is told
        QTest::addColumn<bool>("began");        // the file was opened and its header written
        QTest::addColumn<QString>("reason");
        QTest::newRow("disk full")
            << u"/dev/full"_qs << false << 0 << false << u"el disco está lleno"_qs;
        QTest::newRow("no such folder")
            << u"{tmp}/falta/captura.csv"_qs << false << 0 << false << u"la carpeta no existe"_qs;
        QTest::newRow("folder removed while capturing")
            << u"{tmp}/quitada/captura.csv"_qs << true << 0 << true << u"la carpeta no existe"_qs;
        // The header fits, the rows do not: a write fails while rows are being written.
        QTest::newRow("file over the size limit")
            << u"{tmp}/captura.csv"_qs << false << 100 << true
            << u"el archivo supera el tamaño máximo permitido"_qs;
        QTest::newRow("no permission") << u"{tmp}/ajena/captura.csv"_qs << false << 0 << false
                                       << u"no hay permiso para escribir ahí"_qs;
        QTest::newRow("named pipe nobody reads")
            << u"{tmp}/tubo"_qs << false << 0 << false
            << u"nadie está leyendo esa tubería; abra antes el programa que la lee"_qs;
    }
    void aFailedCaptureIsToldOnceAndNothingIsLost()
    {
        QFETCH(QString, path);
        QFETCH(bool, removeFolder);
        QFETCH(int, sizeLimit);
        QFETCH(bool, began);
        QFETCH(QString, reason);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit unlimited = limit;
        const auto restoreLimit = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &unlimited); });
        if (sizeLimit > 0) {
            limit.rlim_cur = rlim_t(sizeLimit);
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        }
        QTemporaryDir folder;
        path.replace(u"{tmp}"_qs, folder.path());
        if (QTest::currentDataTag() == QByteArrayView("named pipe nobody reads"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        std::optional<WithoutPermissionOverride> asUser;
        if (QTest::currentDataTag() == QByteArrayView("no permission")) {
            QVERIFY(QDir(folder.path()).mkdir(u"ajena"_qs));
            QVERIFY(QFile::setPermissions(QFileInfo(path).absolutePath(),
                                          QFile::ReadOwner | QFile::ExeOwner));
            asUser.emplace();
        }
        if (removeFolder)
            QVERIFY(QDir(folder.path()).mkdir(u"quitada"_qs));
        QString named = path;
        ServerFrmPlatform platform;
        platform.askSavePath = [&named](QWidget*, const QString&, const QString&) {
            return named;
        };
        WindowUnderTest w(std::move(platform));
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, listenUnderTcp(w));
        QVERIFY(peer.waitForConnected(5000));
        const auto receive = [&](const QByteArray& bytes) {
            const qint64 total = w->sessionRecord().codeRowBytesTotal() + bytes.size();
            peer.write(bytes);
            QTRY_COMPARE(w->sessionRecord().codeRowBytesTotal(), total);
        };
        QAction* entry = w->sessionCapture().action();
        entry->trigger();
        receive("AB");
        if (removeFolder) {
            QTRY_COMPARE(capturedBytes(fileBytes(path), u"Servidor"_qs), QByteArray("AB"));
            QVERIFY(QDir(QFileInfo(path).absolutePath()).removeRecursively());
        }
        receive("CD");
        QTRY_COMPARE_WITH_TIMEOUT(w.messages->shown.size(), std::size_t(1), 5000);
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        QCOMPARE(w.messages->shown[0].icon, MessageIcon::Critical);
        const QString told = w.messages->shown[0].text;
        QVERIFY2(told.startsWith(u"Error : No se pudo %1 en «%2»: %3. "_qs.arg(
                     began ? u"seguir grabando"_qs : u"grabar"_qs, path, reason)),
                 qPrintable(told));
        QVERIFY(!entry->isChecked());
        QCOMPARE(entry->text(), u"Grabar en archivo…"_qs);

        receive("EF");
        QCOMPARE(rowsJoined(*w), QByteArray("ABCDEF"));
        QCOMPARE(w.messages->shown.size(), std::size_t(1));

        // Another file, with the whole session: then nothing is left to ask about.
        named = folder.filePath(u"otra.csv"_qs);
        w.captureQuestions->answer = CaptureStart::WithSession;
        entry->trigger();
        QTRY_COMPARE(fileBytes(named), sessionCsvFrom(*w, 0));
        QVERIFY(w->close());
        QVERIFY(w.closeQuestions->asked.empty());
    }

    // A named pipe whose reader stops reading: the capture waits for it on its own thread,
    // the window goes on, and closing the window does not wait for the pipe.
    void aPipeThatTakesNoMoreNeverHoldsTheWindow()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(u"tubo"_qs);
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        const int reader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        const auto closeReader = qScopeGuard([reader] { ::close(reader); });
        const auto waiting = [reader] {
            int bytes = 0;
            return ::ioctl(reader, FIONREAD, &bytes) == 0 ? bytes : 0;
        };
        ServerFrmPlatform platform;
        platform.askSavePath = [path](QWidget*, const QString&, const QString&) {
            return path;
        };
        auto w = std::make_unique<WindowUnderTest>(std::move(platform));
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, listenUnderTcp(*w));
        QVERIFY(peer.waitForConnected(5000));
        (*w)->sessionCapture().action()->trigger();
        // Far more CSV than the pipe holds.
        peer.write(QByteArray(256 * 1024, 'x'));
        // The pipe (64 KB) as full as a writer can make it.
        QTRY_VERIFY(waiting() > 60 * 1024);
        peer.write("fin");
        QTRY_COMPARE((*w)->sessionRecord().codeRowBytesTotal(), 256 * 1024 + 3);
        w.reset();
    }

    // The program killed (SIGKILL) in the middle of a capture: every chunk that arrived more
    // than a second before is in the file, byte for byte.
    void aKilledCaptureKeepsAllButTheLastSecond()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(u"captura.csv"_qs);
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {kChildArgument, path});
        QVERIFY(child.waitForStarted(10'000));
        const auto nextLine = [&child]() -> QByteArray {
            while (!child.canReadLine()) {
                if (!child.waitForReadyRead(10'000))
                    return {};
            }
            return child.readLine().trimmed();
        };
        const QByteArray portLine = nextLine();
        QVERIFY2(portLine.startsWith("port "), portLine.constData());
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, portLine.mid(5).toUShort());
        QVERIFY(peer.waitForConnected(5000));

        // Chunk after chunk, each once the child says it has it, for a while; then the kill.
        const QByteArray stream = varied(4 << 20);
        struct Heard {
            qint64 atMs;
            qint64 bytes;
        };
        std::vector<Heard> heard;
        QElapsedTimer clock;
        clock.start();
        qint64 sent = 0;
        while (clock.elapsed() < 2500 && sent < stream.size()) {
            const qint64 size = 100 + sent % 900;
            peer.write(stream.mid(sent, size));
            QVERIFY(peer.waitForBytesWritten(5000));
            sent += size;
            qint64 got = 0;
            while (got < sent) {
                const QByteArray line = nextLine();
                QVERIFY2(line.startsWith("got "), line.constData());
                got = line.mid(4).toLongLong();
            }
            heard.push_back({clock.elapsed(), got});
        }
        const qint64 killedAt = clock.elapsed();
        child.kill();
        QVERIFY(child.waitForFinished(10'000));

        qint64 kept = 0;
        for (const Heard& h : heard) {
            if (h.atMs < killedAt - 1000)
                kept = h.bytes;
        }
        QVERIFY(kept > 0);
        const QByteArray captured = capturedBytes(fileBytes(path), u"Servidor"_qs);
        QVERIFY2(captured.size() >= kept,
                 qPrintable(u"%1 of %2 bytes"_qs.arg(captured.size()).arg(kept)));
        QVERIFY(stream.startsWith(captured));
    }
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (const qsizetype at = arguments.indexOf(kChildArgument); at > 0 && at + 1 < arguments.size())
        return runCaptureChild(arguments.at(at + 1));
    TestCapture test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_capture.moc"
