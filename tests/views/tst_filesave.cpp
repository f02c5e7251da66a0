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
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

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
