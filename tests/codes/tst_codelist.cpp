#include "codes/CodeList.h"
#include "codes/CodeListActions.h"
#include "codes/CodeListView.h"
#include "codes/SessionCsv.h"
#include "platform/FileSave.h"
#include "platform/LogPane.h"
#include "support/RecordingMessages.h"
#include "support/Saving.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QHeaderView>
#include <QHelpEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

class TestCodeList : public QObject {
    Q_OBJECT

private slots:
    void aChunkBecomesCommaPrefixedDecimalCodes_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<QString>("row");
        QTest::newRow("A B") << QByteArray("AB") << QStringLiteral(",65,66");
        QTest::newRow("A") << QByteArray("A") << QStringLiteral(",65");
        QTest::newRow("empty chunk") << QByteArray() << QString();
        QTest::newRow("CR LF") << QByteArray("\r\n") << QStringLiteral(",13,10");
        QTest::newRow("digit zero") << QByteArray("0") << QStringLiteral(",48");
        QTest::newRow("NUL") << QByteArray("\0", 1) << QStringLiteral(",0");
        QTest::newRow("255") << QByteArray("\xFF") << QStringLiteral(",255");
        QTest::newRow("BEL") << QByteArray("\a") << QStringLiteral(",7");
        QTest::newRow("euro is 128") << QByteArray("\x80") << QStringLiteral(",128");
    }
    void aChunkBecomesCommaPrefixedDecimalCodes()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(QString, row);
        QCOMPARE(codeRowText(chunk), row);
    }

    // Past 32,767 characters too: a chunk is one row, whole.
    void longChunksAreRenderedWhole_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("32,766") << 32'766;
        QTest::newRow("32,767") << 32'767;
        QTest::newRow("40,000") << 40'000;
    }
    void longChunksAreRenderedWhole()
    {
        QFETCH(int, length);
        QByteArray chunk(length, 'A');
        chunk[length - 1] = '\xFF';
        const QString row = codeRowText(chunk);
        QCOMPARE(row.size(), qsizetype(length - 1) * 3 + 4);
        QVERIFY(row.startsWith(u",65,65"));
        QVERIFY(row.endsWith(u",65,255"));
        QCOMPARE(row.count(u','), length);
    }

    void everyChunkAddsOneRowInArrivalOrder()
    {
        CodeListView view;
        CodeList list(view);
        list.AddCodeRow("AB");
        QCOMPARE(list.rowCount(), 1); // exists at once, before the view hears of it
        list.AddCodeRow("");
        list.AddCodeRow("AB");
        list.AddCodeRow(QByteArray(40'000, '\0'));
        QCOMPARE(list.rowCount(), 4);
        QCOMPARE(list.rowText(0), QStringLiteral(",65,66"));
        QCOMPARE(list.rowText(1), QString());
        QCOMPARE(list.rowText(2), QStringLiteral(",65,66"));
        QCOMPARE(list.rowText(3).size(), 80'000);

        QTRY_COMPARE(view.model()->rowCount(), 4);
        QCOMPARE(view.model()->index(0, 0).data().toString(), QStringLiteral(",65,66"));
        QCOMPARE(view.model()->index(1, 0).data().toString(), QString());
    }

    void theListShowsOneColumnHeadedAsciiWithOneRowSelectable()
    {
        CodeListView view;
        CodeList list(view);
        view.resize(600, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.header()->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("ASCII"));
        QVERIFY(view.header()->isVisible());
        QCOMPARE(view.selectionMode(), QAbstractItemView::SingleSelection);
        for (int i = 0; i < 5; ++i)
            list.AddCodeRow(QByteArray(1, char('a' + i)));
        QTRY_COMPARE(view.model()->rowCount(), 5);
        view.selectionModel()->select(view.model()->index(1, 0), QItemSelectionModel::Select);
        view.selectionModel()->select(view.model()->index(3, 0),
                                      QItemSelectionModel::ClearAndSelect);
        QCOMPARE(view.selectionModel()->selectedIndexes().size(), 1);
    }

    // A huge row is shown cut short, but copying it gives every code.
    void copyingARowCopiesItsWholeText()
    {
        CodeListView view;
        CodeList list(view);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QByteArray chunk(2'000, 'A');
        list.AddCodeRow(chunk);
        QTRY_COMPARE(view.model()->rowCount(), 1);
        const QString shown = view.model()->index(0, 0).data().toString();
        QVERIFY(shown.endsWith(u'…'));
        QVERIFY(shown.size() < 4 * 1'000);
        view.setCurrentIndex(view.model()->index(0, 0));
        view.setFocus();
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), codeRowText(chunk));
    }

    // Hovering a row tells where and when its chunk arrived; the row's text stays the codes.
    void hoveringARowTellsItsLinkTimeSizeAndBytes_data()
    {
        QTest::addColumn<Pane>("pane");
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<QString>("told");
        QTest::newRow("serial character")
            << Pane::Serial << QByteArray("A") << QStringLiteral("Enlace: Serie\n%1\nBytes: 1\n41");
        QTest::newRow("server chunk with a NUL")
            << Pane::Server << QByteArray("\0\xFF\r\n", 4)
            << QStringLiteral("Enlace: Servidor\n%1\nBytes: 4\n00 FF 0D 0A");
        QTest::newRow("long client chunk is cut")
            << Pane::Client << QByteArray(1000, 'a')
            << QStringLiteral("Enlace: Cliente\n%1\nBytes: 1000\n") +
                   QStringLiteral("61 ").repeated(63) + QStringLiteral("61 …");
    }
    void hoveringARowTellsItsLinkTimeSizeAndBytes()
    {
        QFETCH(Pane, pane);
        QFETCH(QByteArray, chunk);
        QFETCH(QString, told);
        SessionRecord record;
        CodeListView view;
        CodeList list(view, record);
        LogPane shown;
        shown.attach(record, pane);
        view.resize(400, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        list.AddCodeRow(chunk);
        shown.append(chunk);
        QTRY_COMPARE(view.model()->rowCount(), 1);
        const qint64 arrival = record.codeRowTime(0);
        QVERIFY(arrival >= before && arrival <= QDateTime::currentMSecsSinceEpoch());

        const QPoint over = view.visualRect(view.model()->index(0, 0)).center();
        QHelpEvent hover(QEvent::ToolTip, over, view.viewport()->mapToGlobal(over));
        QApplication::sendEvent(view.viewport(), &hover);
        const QString time = QDateTime::fromMSecsSinceEpoch(arrival).toLocalTime().toString(
            QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        QTRY_COMPARE(QToolTip::text(), told.arg(QStringLiteral("Llegada: ") + time));
        QCOMPARE(view.model()->index(0, 0).data().toString(), codeRowText(chunk, 256));
        QToolTip::hideText();
    }

    void theNewestRowsStayInViewAsRowsArrive()
    {
        CodeListView view;
        CodeList list(view);
        view.resize(300, 150);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        for (int i = 0; i < 1'000; ++i)
            list.AddCodeRow(QByteArray::number(i));
        QTRY_COMPARE(view.model()->rowCount(), 1'000);
        QTRY_VERIFY(view.verticalScrollBar()->maximum() > 0);
        QCOMPARE(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
    }

    // One row is selected by hand; "Seleccionar todo" selects them all, and "Copiar" copies
    // every selected row, whole, one per line. "Guardar como…" saves the session.
    void theListMenuSelectsAllCopiesAndSaves()
    {
        CodeListView view;
        CodeList list(view);
        RecordingMessages messages;
        QTemporaryDir folder;
        QStringList asked;
        ViewActions* actions = installCodeListActions(
            view,
            {u"sesion.csv"_qs, u"CSV (*.csv)"_qs,
             [] {
                 return sessionCsvContent({});
             }},
            [&](QWidget*, const QString& name, const QString&) {
                asked << name;
                return folder.filePath(name);
            },
            messages);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        list.AddCodeRow("AB");
        list.AddCodeRow("");
        list.AddCodeRow("\r\n");
        QTRY_COMPARE(view.model()->rowCount(), 3);
        view.setFocus();

        QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(view.selectionModel()->selectedRows().size(), 3);
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), u",65,66\r\n\r\n,13,10"_qs);

        view.setCurrentIndex(view.model()->index(2, 0));
        QCOMPARE(view.selectionModel()->selectedRows().size(), 1);
        actions->copyAction()->trigger();
        QCOMPARE(QApplication::clipboard()->text(), u",13,10"_qs);

        QSignalSpy started(actions, &ViewActions::saveStarted);
        QTest::keyClick(&view, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(asked, QStringList{u"sesion.csv"_qs});
        QCOMPARE(started.size(), 1);
        QSignalSpy finished(started.at(0).at(0).value<FileSave*>(), &FileSave::finished);
        QVERIFY(finished.wait(10'000));
        QVERIFY(fileBytes(folder.filePath(u"sesion.csv"_qs)).startsWith("\xEF\xBB\xBFHora,"));
        QVERIFY(messages.shown.empty());
    }
};

QTEST_MAIN(TestCodeList)
#include "tst_codelist.moc"
