#include "base/FailureDispatch.h"
#include "support/ByteSamples.h"
#include "support/RecordingMessages.h"
#include "support/Saving.h"
#include "views/FileSave.h"
#include "views/LogPane.h"
#include "views/ViewActions.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

// A pane shown offscreen with its actions; "Guardar como…" is answered with `answer`.
struct PaneWithActions {
    PaneWithActions()
    {
        actions = installPaneActions(
            pane,
            {QStringLiteral("servidor.txt"), QStringLiteral("Texto (*.txt)"),
             [this] {
                 return paneContent(paneOf(pane.bytes()));
             }},
            [this](QWidget*, const QString& suggested, const QString&) {
                asked.append(suggested);
                return answer;
            },
            messages);
        pane.resize(320, 190);
        pane.show();
        if (!QTest::qWaitForWindowExposed(&pane))
            qWarning("pane not exposed");
    }
    QAction* action(const QString& text) const
    {
        for (QAction* each : pane.actions())
            if (each->text() == text)
                return each;
        return nullptr;
    }

    LogPane pane;
    RecordingMessages messages;
    ViewActions* actions = nullptr;
    QString answer;
    QStringList asked;
};

// The other end of a pipe or a terminal, reading on a thread of its own only as much as the
// test allows: the target fills up and the save has to wait for it.
class PacedReader {
public:
    // Reads from descriptor, which it owns; keepOpen (owned too, may be -1) is closed with it.
    PacedReader(int descriptor, int keepOpen)
        : m_descriptor(descriptor)
        , m_keepOpen(keepOpen)
    {
        if (::pipe(m_wake) != 0)
            qFatal("no pipe for the reader");
        m_thread = std::thread([this] { run(); });
    }
    ~PacedReader()
    {
        m_stop = true;
        wake();
        m_thread.join();
        leave();
        ::close(m_wake[0]);
        ::close(m_wake[1]);
    }
    void allow(qint64 bytes)
    {
        m_allowed += bytes;
        wake();
    }
    qint64 readSoFar() const { return m_read; }
    QByteArray bytes() const
    {
        const std::lock_guard lock(m_mutex);
        return m_bytes;
    }
    // The reader goes away, its end closed, in the middle of the save.
    void leave()
    {
        const std::lock_guard lock(m_mutex);
        for (int* fd : {&m_descriptor, &m_keepOpen}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }

private:
    void wake()
    {
        const char byte = 1;
        if (::write(m_wake[1], &byte, 1) < 0)
            qWarning("could not wake the reader");
    }
    void run()
    {
        char buffer[65536];
        while (!m_stop) {
            int descriptor;
            {
                const std::lock_guard lock(m_mutex);
                descriptor = m_descriptor;
            }
            const bool mayRead = descriptor >= 0 && m_read < m_allowed;
            pollfd watched[2] = {{m_wake[0], POLLIN, 0}, {descriptor, POLLIN, 0}};
            if (::poll(watched, mayRead ? 2 : 1, -1) < 0)
                continue;
            if (watched[0].revents & POLLIN) {
                char drained[64];
                if (::read(m_wake[0], drained, sizeof drained) < 0)
                    qWarning("could not drain the wake pipe");
            }
            if (!mayRead || !(watched[1].revents & POLLIN))
                continue;
            const std::lock_guard lock(m_mutex);
            if (m_descriptor < 0)
                continue;
            const auto want = std::size_t(std::min<qint64>(m_allowed - m_read, sizeof buffer));
            const ssize_t got = ::read(m_descriptor, buffer, want);
            if (got > 0) {
                m_bytes.append(buffer, got);
                m_read += got;
            }
        }
    }

    int m_descriptor;
    int m_keepOpen;
    int m_wake[2] = {-1, -1};
    std::atomic<qint64> m_allowed{0};
    std::atomic<qint64> m_read{0};
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    QByteArray m_bytes;
    std::thread m_thread;
};

// A named pipe or a terminal to save into, and its reader.
struct SlowTarget {
    SlowTarget(const QString& kind, const QString& folder)
    {
        if (kind == QLatin1String("pipe")) {
            path = folder + QStringLiteral("/tubería");
            const QByteArray name = QFile::encodeName(path);
            if (::mkfifo(name.constData(), 0600) != 0)
                qFatal("no named pipe for the test");
            // Our own writer keeps the pipe from reading as ended before the save opens it.
            const int read = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            const int write = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            reader = std::make_unique<PacedReader>(read, write);
        } else {
            int master = -1;
            char name[256] = {};
            if (::openpty(&master, &m_slave, name, nullptr, nullptr) != 0)
                qFatal("no pseudo-terminal for the test");
            termios raw{};
            ::tcgetattr(m_slave, &raw);
            ::cfmakeraw(&raw); // bytes as they are: no CR added before LF
            ::tcsetattr(m_slave, TCSANOW, &raw);
            path = QString::fromLocal8Bit(name);
            reader = std::make_unique<PacedReader>(master, -1);
        }
    }
    ~SlowTarget()
    {
        reader.reset();
        if (m_slave >= 0)
            ::close(m_slave);
    }
    QString path;
    std::unique_ptr<PacedReader> reader;

private:
    int m_slave = -1;
};

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestFileSave : public QObject {
    Q_OBJECT

private slots:
    void aSavedPaneHoldsItsBytesExactly_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("piece");
        QTest::newRow("every byte value") << allByteValues() << 100;
        QTest::newRow("CR LF lines, lone CR and LF")
            << QByteArray("Cliente : AB\r\n*** Desconectado\r\nuno\rdos\nfin") << 7;
        QTest::newRow("NUL and 255 at the piece edges") << QByteArray("\0\xFF\0\xFF", 4) << 1;
        QTest::newRow("empty pane") << QByteArray() << 1;
        QTest::newRow("several megabytes in uneven pieces") << varied(5'000'001) << 777'777;
    }
    void aSavedPaneHoldsItsBytesExactly()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, piece);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("panel.txt"));
        const SaveResult result = saveAndWait(path, paneContent(paneOf(bytes, piece)));
        QCOMPARE(result.outcome, FileSave::Outcome::Saved);
        QCOMPARE(fileBytes(path), bytes);
        QCOMPARE(entriesOf(folder.path()), QStringList{QStringLiteral("panel.txt")});
    }

    // The old file stays whole until the new one is: a cancelled save leaves it as it was and
    // no stray file behind; a finished one replaces it.
    void theOldFileIsReplacedOnlyByAWholeNewOne()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("panel.txt"));
        writeFile(path, "viejo");
        FileSave* running = nullptr;
        PaneSource cancelling = paneOf(varied(4'000'000), 1'000'000);
        const auto whole = cancelling.forEachSpan;
        int pieces = 0;
        cancelling.forEachSpan = [&](const std::function<bool(QByteArrayView)>& visit) {
            return whole([&](QByteArrayView span) {
                if (++pieces == 2)
                    running->cancel();
                return visit(span);
            });
        };
        {
            FileSave save(path, paneContent(cancelling));
            running = &save;
            QSignalSpy finished(&save, &FileSave::finished);
            save.start();
            QVERIFY(finished.wait(10'000));
            QCOMPARE(finished.at(0).at(0).value<FileSave::Outcome>(), FileSave::Outcome::Cancelled);
        }
        QCOMPARE(fileBytes(path), QByteArray("viejo"));
        QCOMPARE(entriesOf(folder.path()), QStringList{QStringLiteral("panel.txt")});

        QCOMPARE(saveAndWait(path, paneContent(paneOf("nuevo"))).outcome, FileSave::Outcome::Saved);
        QCOMPARE(fileBytes(path), QByteArray("nuevo"));
    }

    // Paths that refuse even the superuser, as tests may run as root.
    void aFailedSaveIsToldWithThePathAndWhy_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("reason");
        QTest::newRow("read-only folder") << QStringLiteral("/sys/quorvane.txt")
                                          << QStringLiteral("no hay permiso para escribir ahí");
        QTest::newRow("full device")
            << QStringLiteral("/dev/full") << QStringLiteral("el disco está lleno");
        QTest::newRow("missing folder") << QStringLiteral("{tmp}/no-existe/panel.txt")
                                        << QStringLiteral("la carpeta no existe");
        QTest::newRow("folder gone while saving")
            << QStringLiteral("{tmp}/se-va/panel.txt") << QStringLiteral("la carpeta no existe");
        QTest::newRow("a folder, not a file")
            << QStringLiteral("{tmp}") << QStringLiteral("es una carpeta");
        QTest::newRow("named pipe nobody reads")
            << QStringLiteral("{tmp}/tubería")
            << QStringLiteral("nadie está leyendo esa tubería; abra antes el programa que la lee");
        QTest::newRow("file over the size limit")
            << QStringLiteral("{tmp}/panel.txt")
            << QStringLiteral("el archivo supera el tamaño máximo permitido");
    }
    void aFailedSaveIsToldWithThePathAndWhy()
    {
        QFETCH(QString, where);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        const QString path = QString(where).replace(QStringLiteral("{tmp}"), folder.path());
        const QFileInfo before(path);
        PaneSource pane = paneOf(varied(300'000), 100'000);
        if (QTest::currentDataTag() == QByteArrayView("folder gone while saving")) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            const auto whole = pane.forEachSpan;
            pane.forEachSpan = [whole, path](const std::function<bool(QByteArrayView)>& visit) {
                QDir(QFileInfo(path).absolutePath()).removeRecursively();
                return whole(visit);
            };
        }
        if (QTest::currentDataTag() == QByteArrayView("named pipe nobody reads"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        // Files may grow to 100 KB during this save, which writes 300 KB.
        rlimit sizeLimit{};
        ::getrlimit(RLIMIT_FSIZE, &sizeLimit);
        const rlimit unlimited = sizeLimit;
        if (QTest::currentDataTag() == QByteArrayView("file over the size limit")) {
            sizeLimit.rlim_cur = 100'000;
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &sizeLimit), 0);
        }
        const auto restoreLimit = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &unlimited); });

        RecordingMessages messages;
        QWidget window;
        FileSave* save = saveWithProgress(&window, path, paneContent(pane), messages);
        QSignalSpy finished(save, &FileSave::finished);
        QVERIFY(finished.wait(10'000));
        QCOMPARE(finished.at(0).at(0).value<FileSave::Outcome>(), FileSave::Outcome::Failed);
        QCOMPARE(finished.at(0).at(1).toString(), reason);
        QCOMPARE(messages.shown.size(), 1u);
        QCOMPARE(messages.shown[0],
                 (RecordingMessages::Shown{
                     QStringLiteral("Error : No se pudo guardar «%1»: %2.").arg(path, reason),
                     MessageIcon::Critical}));
        // Nothing took the place of what was there: a device stays a device.
        const QFileInfo after(path);
        QCOMPARE(after.exists(), before.exists() && QTest::currentDataTag() !=
                                                        QByteArrayView("folder gone while saving"));
        QCOMPARE(after.isFile(), before.isFile());
        QCOMPARE(after.isDir(), before.isDir());
    }

    // The helper thread writes while the window's thread goes on: here the save is held in
    // the middle until the progress dialog has appeared and been answered with "Cancelar".
    void aLongSaveShowsProgressAndCanBeCancelled()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("panel.txt"));
        writeFile(path, "viejo");
        QSemaphore held;
        PaneSource pane = paneOf(varied(2'000'000), 500'000);
        const auto whole = pane.forEachSpan;
        pane.forEachSpan = [&](const std::function<bool(QByteArrayView)>& visit) {
            int pieces = 0;
            return whole([&](QByteArrayView span) {
                if (++pieces == 2 && !held.tryAcquire(1, 30'000))
                    return false;
                return visit(span);
            });
        };

        RecordingMessages messages;
        QWidget window;
        window.show();
        FileSave* save = saveWithProgress(&window, path, paneContent(pane), messages);
        QSignalSpy progressed(save, &FileSave::progressed);
        QSignalSpy finished(save, &FileSave::finished);
        QProgressDialog* progress = window.findChild<QProgressDialog*>();
        QVERIFY(progress);
        QVERIFY(!progress->isVisible()); // not for a moment
        QTRY_VERIFY_WITH_TIMEOUT(progress->isVisible(), 10'000);
        QTRY_COMPARE(progress->value(), 250);
        QVERIFY(!progressed.isEmpty());
        QPushButton* cancel = progress->findChild<QPushButton*>();
        QVERIFY(cancel);
        QCOMPARE(cancel->text(), QStringLiteral("Cancelar"));
        QTest::mouseClick(cancel, Qt::LeftButton);
        held.release();
        QVERIFY(finished.wait(10'000));
        QCOMPARE(finished.at(0).at(0).value<FileSave::Outcome>(), FileSave::Outcome::Cancelled);
        QCOMPARE(fileBytes(path), QByteArray("viejo"));
        QVERIFY(messages.shown.empty());
        QTRY_VERIFY(!window.findChild<QProgressDialog*>());
    }

    // A named pipe or a terminal takes a save as fast as its reader reads: the save waits for
    // it, the window free meanwhile, and ends as the reader does: reading everything, the
    // operator's "Cancelar", or the reader gone (told in Spanish).
    void aSaveIntoAPipeOrTerminalWaitsForItsReader_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("reason");
        const QString pipeGone =
            QStringLiteral("el programa que leía la tubería la cerró antes del final");
        const QString lineGone = QStringLiteral("falló la escritura en el dispositivo (error de "
                                                "entrada/salida); puede haberse desconectado");
        for (const QString& kind : {u"pipe"_qs, u"terminal"_qs}) {
            const QByteArray name = kind == u"pipe" ? "named pipe" : "terminal";
            QTest::addRow("%s read to the end", name.constData())
                << kind << u"read"_qs << QString();
            QTest::addRow("%s, cancelled", name.constData()) << kind << u"cancel"_qs << QString();
            QTest::addRow("%s, reader gone", name.constData())
                << kind << u"leave"_qs << (kind == u"pipe" ? pipeGone : lineGone);
        }
    }
    void aSaveIntoAPipeOrTerminalWaitsForItsReader()
    {
        QFETCH(QString, kind);
        QFETCH(QString, ending);
        QFETCH(QString, reason);
        QTemporaryDir folder;
        SlowTarget target(kind, folder.path());
        const QByteArray bytes = varied(4 << 20);
        RecordingMessages messages;
        QWidget window;
        window.show();
        FileSave* save =
            saveWithProgress(&window, target.path, paneContent(paneOf(bytes)), messages);
        QSignalSpy finished(save, &FileSave::finished);

        // Nothing is read: the save waits, long enough for its progress to show.
        auto* progress = window.findChild<QProgressDialog*>();
        QVERIFY(progress);
        QTRY_VERIFY_WITH_TIMEOUT(progress->isVisible(), 10'000);
        QVERIFY(finished.isEmpty());
        // The reader takes a little at a time, and the save goes on each time.
        for (int step = 1; step <= 3; ++step) {
            target.reader->allow(256 * 1024);
            QTRY_COMPARE_WITH_TIMEOUT(target.reader->readSoFar(), step * 256 * 1024, 10'000);
        }
        QVERIFY(finished.isEmpty());

        if (ending == u"read") {
            target.reader->allow(bytes.size());
        } else if (ending == u"cancel") {
            QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
        } else {
            target.reader->leave();
        }
        QVERIFY(finished.wait(10'000));
        const auto outcome = finished.at(0).at(0).value<FileSave::Outcome>();
        if (ending == u"read") {
            QCOMPARE(outcome, FileSave::Outcome::Saved);
            QTRY_COMPARE_WITH_TIMEOUT(target.reader->readSoFar(), bytes.size(), 10'000);
            QVERIFY(target.reader->bytes() == bytes);
            QVERIFY(messages.shown.empty());
        } else if (ending == u"cancel") {
            QCOMPARE(outcome, FileSave::Outcome::Cancelled);
            QVERIFY(messages.shown.empty());
        } else {
            QCOMPARE(outcome, FileSave::Outcome::Failed);
            QCOMPARE(finished.at(0).at(1).toString(), reason);
            QCOMPARE(messages.shown.size(), 1u);
        }
    }

    void thePaneMenuOffersCopySelectAllAndSaveAs()
    {
        PaneWithActions shown;
        AppendLog(shown.pane, u"Cliente : ", QByteArrayView("A\0B\xFF", 4));
        const QStringList offered = contextMenuOf(shown.pane);
        QCOMPARE(offered, (QStringList{u"Copiar (gris)"_qs, u"Seleccionar todo"_qs, QString(),
                                       u"Guardar como…"_qs}));

        shown.action(u"Seleccionar todo"_qs)->trigger();
        QCOMPARE(shown.pane.selectedText(), shown.pane.text());
        QApplication::clipboard()->clear();
        shown.action(u"Copiar"_qs)->trigger();
        QCOMPARE(QApplication::clipboard()->text(), shown.pane.text());
    }

    // Ctrl+A and Ctrl+C are "Seleccionar todo" and "Copiar": the pane's text goes to the
    // clipboard exactly, unless it is more than the clipboard should take; then nothing is
    // copied and the operator is told to save it instead.
    void ctrlACtrlCCopiesThePaneExactlyUpToTheCap_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<bool>("copied");
        QTest::newRow("a NUL and accents") << QByteArray("A\0B\xF1", 4) << true;
        QTest::newRow("past the cap") << QByteArray(ViewActions::kCopyLimit, 'x') << false;
    }
    void ctrlACtrlCCopiesThePaneExactlyUpToTheCap()
    {
        QFETCH(QByteArray, received);
        QFETCH(bool, copied);
        PaneWithActions shown;
        AppendLog(shown.pane, u"Cliente : ", received);
        AppendLog(shown.pane, u"Servidor: ", QStringView(u"ñandú"));
        QApplication::clipboard()->setText(u"antes"_qs);
        shown.pane.setFocus();
        QTest::keyClick(&shown.pane, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(shown.pane.selLength(), shown.pane.length());
        QTest::keyClick(&shown.pane, Qt::Key_C, Qt::ControlModifier);
        if (copied) {
            QCOMPARE(QApplication::clipboard()->text(), shown.pane.text());
            QVERIFY(shown.messages.shown.empty());
        } else {
            QCOMPARE(QApplication::clipboard()->text(), u"antes"_qs);
            QCOMPARE(shown.messages.shown.size(), std::size_t(1));
            QVERIFY(shown.messages.shown.front().text.contains(u"«Guardar como…»"));
        }
    }

    // Ctrl+S is "Guardar como…": the operator names the file (or does not) and the pane's
    // bytes go there.
    void ctrlSSavesThePaneWhereTheOperatorSays()
    {
        PaneWithActions shown;
        AppendLog(shown.pane, u"Cliente : ", allByteValues());
        shown.pane.setFocus();
        QTest::keyClick(&shown.pane, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(shown.asked, QStringList{u"servidor.txt"_qs});
        QVERIFY(!shown.pane.findChild<FileSave*>()); // no name, no save

        QTemporaryDir folder;
        shown.answer = folder.filePath(QStringLiteral("panel.txt"));
        QSignalSpy started(shown.actions, &ViewActions::saveStarted);
        QTest::keyClick(&shown.pane, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(started.size(), 1);
        QSignalSpy finished(started.at(0).at(0).value<FileSave*>(), &FileSave::finished);
        QVERIFY(finished.wait(10'000));
        QCOMPARE(fileBytes(shown.answer), shown.pane.bytes());
        QVERIFY(shown.messages.shown.empty());
    }
};

QTEST_MAIN(TestFileSave)
#include "tst_filesave.moc"
