#include "codes/CodeList.h"
#include "codes/CodeListActions.h"
#include "codes/CodeListView.h"
#include "codes/LineGrouping.h"
#include "codes/LineGroups.h"
#include "codes/SessionCsv.h"
#include "support/ListRows.h"
#include "support/RecordingMessages.h"
#include "support/Saving.h"
#include "views/FileSave.h"
#include "views/LogPane.h"

#include <QAccessible>
#include <QAction>
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
    // "Agrupar la serie por línea": consecutive serial characters make one row up to and
    // including a line end (CR, LF or CR LF), or until a pause of more than 50 ms; other links'
    // rows and empty rows stay their own. The same rows whether grouped while written (a
    // capture, a save) or over the record (the list).
    void serialRowsGroupByLine_data()
    {
        QTest::addColumn<QString>("rows");      // link letter, ms, ':', bytes; ';' between rows
        QTest::addColumn<QStringList>("shown"); // the grouped rows' bytes
        QTest::newRow("a meter's line") << u"S0:T;S0:=;S1:2;S1:3;S2:.;S2:4;S3:C;S3:\r;S4:\n"_qs
                                        << QStringList{u"T=23.4C\r\n"_qs};
        QTest::newRow("LF alone ends a line")
            << u"S0:a;S0:\n;S0:b"_qs << QStringList{u"a\n"_qs, u"b"_qs};
        QTest::newRow("CR alone ends a line")
            << u"S0:a;S0:\r;S0:b"_qs << QStringList{u"a\r"_qs, u"b"_qs};
        QTest::newRow("LF CR is two ends")
            << u"S0:a;S0:\n;S0:\r;S0:b"_qs << QStringList{u"a\n"_qs, u"\r"_qs, u"b"_qs};
        QTest::newRow("a pause of 50 ms joins") << u"S0:a;S50:b"_qs << QStringList{u"ab"_qs};
        QTest::newRow("a pause of 51 ms ends a row")
            << u"S0:a;S51:b;S60:c"_qs << QStringList{u"a"_qs, u"bc"_qs};
        QTest::newRow("CR then a pause before LF")
            << u"S0:a;S0:\r;S80:\n"_qs << QStringList{u"a\r"_qs, u"\n"_qs};
        QTest::newRow("another link in between")
            << u"S0:a;T0:xy;S0:b"_qs << QStringList{u"a"_qs, u"xy"_qs, u"b"_qs};
        QTest::newRow("other links never group")
            << u"T0:x;T0:y;C0:z"_qs << QStringList{u"x"_qs, u"y"_qs, u"z"_qs};
        QTest::newRow("an empty serial row stays its own")
            << u"S0:a;S0:;S0:b"_qs << QStringList{u"a"_qs, QString(), u"b"_qs};
    }
    // Grouped, the list shows, copies and tells screen readers a row per serial line, found
    // through its sparse index from any row, also the line still growing; the record keeps a
    // row per character, and unchecking shows them again.
    void theListShowsASerialLinePerRowWhileGrouped()
    {
        CodeListView view;
        SessionRecord record;
        CodeList list(view, record);
        const auto receive = [&](const QByteArray& bytes, Link link) {
            if (link != Link::Serial) {
                list.AddCodeRow(bytes);
                record.appendReceived(link, bytes);
                return;
            }
            for (const char c : bytes) {
                list.AddCodeRow(QByteArrayView(&c, 1));
                record.appendReceived(Link::Serial, QByteArrayView(&c, 1));
            }
        };
        QByteArray lines;
        QStringList expected;
        for (int line = 0; line < 300; ++line) {
            const QByteArray text = QByteArray("L") + QByteArray::number(line) + "\r\n";
            receive(text, Link::Serial);
            lines += text;
            expected << codeRowText(text);
            if (line == 100) {
                receive("TCP", Link::Server);
                expected << codeRowText("TCP");
            }
        }
        receive("xy", Link::Serial);
        expected << codeRowText("xy");
        const qint64 characters = record.codeRowCount();
        QAbstractItemModel& model = *view.model();
        const auto shownRow = [&model](int row) {
            return model.index(row, 0).data(Qt::EditRole).toString();
        };
        list.setGroupedByLine(true);
        QTRY_COMPARE(model.rowCount(), int(expected.size()));
        for (const int row : {250, 3, 101, 102, 64, 63, 301, 0})
            QCOMPARE(shownRow(row), expected[row]);
        receive("z\r\n", Link::Serial);
        QTRY_COMPARE(shownRow(model.rowCount() - 1), codeRowText("xyz\r\n"));
        QCOMPARE(model.rowCount(), int(expected.size()));
        QCOMPARE(record.codeRowCount(), characters + 3);

        list.setGroupedByLine(false);
        QTRY_COMPARE(model.rowCount(), int(characters + 3));
        QCOMPARE(shownRow(0), u",76"_qs);
    }

    void serialRowsGroupByLine()
    {
        QFETCH(QString, rows);
        QFETCH(QStringList, shown);
        std::vector<QByteArray> held;
        std::vector<CodeRowEntry> entries;
        held.reserve(64);
        for (const QString& row : rows.split(u';')) {
            const Link link = row[0] == u'S'   ? Link::Serial
                              : row[0] == u'T' ? Link::Server
                                               : Link::Client;
            const qsizetype colon = row.indexOf(u':');
            held.push_back(row.mid(colon + 1).toLatin1());
            entries.push_back({row.mid(1, colon - 1).toLongLong(), link, held.back()});
        }
        QStringList written;
        LineGroupWriter writer([&written](const CodeRowEntry& row) {
            written << QString::fromLatin1(row.bytes.toByteArray());
            return true;
        });
        for (const CodeRowEntry& entry : entries)
            QVERIFY(writer.add(entry));
        QVERIFY(writer.flush());
        QCOMPARE(written, shown);
    }

    // Each piece is a comma and the byte's code: in decimal as it is (no sign, no leading
    // zero), in hexadecimal as two upper-case digits.
    void aChunkBecomesCommaPrefixedCodes_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<QString>("decimal");
        QTest::addColumn<QString>("hexadecimal");
        QTest::newRow("A B") << QByteArray("AB") << u",65,66"_qs << u",41,42"_qs;
        QTest::newRow("A") << QByteArray("A") << u",65"_qs << u",41"_qs;
        QTest::newRow("empty chunk") << QByteArray() << QString() << QString();
        QTest::newRow("CR LF") << QByteArray("\r\n") << u",13,10"_qs << u",0D,0A"_qs;
        QTest::newRow("digit zero") << QByteArray("0") << u",48"_qs << u",30"_qs;
        QTest::newRow("NUL") << QByteArray("\0", 1) << u",0"_qs << u",00"_qs;
        QTest::newRow("255") << QByteArray("\xFF") << u",255"_qs << u",FF"_qs;
        QTest::newRow("BEL") << QByteArray("\a") << u",7"_qs << u",07"_qs;
        QTest::newRow("euro is 128") << QByteArray("\x80") << u",128"_qs << u",80"_qs;
        QTest::newRow("241 and z") << QByteArray("\xF1z") << u",241,122"_qs << u",F1,7A"_qs;
    }
    void aChunkBecomesCommaPrefixedCodes()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(QString, decimal);
        QFETCH(QString, hexadecimal);
        QCOMPARE(codeRowText(chunk), decimal);
        QCOMPARE(codeRowText(chunk, -1, CodeBase::Hexadecimal), hexadecimal);
        // Cut short, it shows the first codes and "…".
        if (!chunk.isEmpty())
            QCOMPARE(codeRowText(chunk + chunk, chunk.size(), CodeBase::Hexadecimal),
                     hexadecimal + u'…');
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
        QCOMPARE(rowText(list, 0), QStringLiteral(",65,66"));
        QCOMPARE(rowText(list, 1), QString());
        QCOMPARE(rowText(list, 2), QStringLiteral(",65,66"));
        QCOMPARE(rowText(list, 3).size(), 80'000);

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

    // A huge row is shown cut short, but copying it (Ctrl+C, "Copiar") gives every code;
    // unless its codes are more than the clipboard should take: then nothing is copied and the
    // operator is told to save the list instead.
    void copyingARowCopiesItsWholeTextUpToTheCap_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<bool>("copied");
        QTest::newRow("2,000 bytes") << qsizetype(2'000) << true;
        // ",65" is three characters a byte.
        QTest::newRow("past the cap") << ViewActions::kCopyLimit / 3 + 1 << false;
    }
    void copyingARowCopiesItsWholeTextUpToTheCap()
    {
        QFETCH(qsizetype, size);
        QFETCH(bool, copied);
        CodeListView view;
        CodeList list(view);
        RecordingMessages messages;
        installCodeListActions(view, list, {}, {}, messages);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const QByteArray chunk(size, 'A');
        list.AddCodeRow(chunk);
        QTRY_COMPARE(view.model()->rowCount(), 1);
        const QString shown = view.model()->index(0, 0).data().toString();
        QVERIFY(shown.endsWith(u'…'));
        QVERIFY(shown.size() < 4 * 1'000);
        QApplication::clipboard()->setText(u"antes"_qs);
        view.setCurrentIndex(view.model()->index(0, 0));
        view.setFocus();
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        if (copied) {
            QCOMPARE(QApplication::clipboard()->text(), codeRowText(chunk));
            QVERIFY(messages.shown.empty());
        } else {
            QCOMPARE(QApplication::clipboard()->text(), u"antes"_qs);
            QCOMPARE(messages.shown.size(), std::size_t(1));
            QVERIFY(messages.shown.front().text.contains(u"«Guardar como…»"));
        }
    }

    // Hovering a row tells where and when its chunk arrived; the row's text stays the codes.
    void hoveringARowTellsItsLinkTimeSizeAndBytes_data()
    {
        QTest::addColumn<Link>("link");
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<QString>("told");
        QTest::newRow("serial character")
            << Link::Serial << QByteArray("A") << QStringLiteral("Enlace: Serie\n%1\nBytes: 1\n41");
        QTest::newRow("server chunk with a NUL")
            << Link::Server << QByteArray("\0\xFF\r\n", 4)
            << QStringLiteral("Enlace: Servidor\n%1\nBytes: 4\n00 FF 0D 0A");
        QTest::newRow("long client chunk is cut")
            << Link::Client << QByteArray(1000, 'a')
            << QStringLiteral("Enlace: Cliente\n%1\nBytes: 1000\n") +
                   QStringLiteral("61 ").repeated(63) + QStringLiteral("61 …");
    }
    void hoveringARowTellsItsLinkTimeSizeAndBytes()
    {
        QFETCH(Link, link);
        QFETCH(QByteArray, chunk);
        QFETCH(QString, told);
        SessionRecord record;
        CodeListView view;
        CodeList list(view, record);
        LogPane shown;
        shown.attach(record, link);
        view.resize(400, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        list.AddCodeRow(chunk);
        shown.appendReceived(chunk);
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
            view, list,
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

    // "Hexadecimal" changes how every row reads, is drawn, copied and named to screen readers,
    // rows that arrive later too, and "Decimal" brings the codes back. "Limpiar lista" empties
    // the list, which goes on with the rows that arrive next; the record keeps every row.
    void theListMenuShowsHexadecimalAndEmptiesTheList()
    {
        SessionRecord record;
        CodeListView view;
        CodeList list(view, record);
        RecordingMessages messages;
        installCodeListActions(view, list, {}, {}, messages);
        view.resize(400, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const auto action = [&view](const QString& text) -> QAction* {
            for (QAction* each : view.actions())
                if (each->text() == text)
                    return each;
            return nullptr;
        };
        QAction* decimal = action(u"Decimal"_qs);
        QAction* hexadecimal = action(u"Hexadecimal"_qs);
        QAction* clear = action(u"Limpiar lista"_qs);
        QVERIFY(decimal && hexadecimal && clear);
        QVERIFY(decimal->isChecked());
        QVERIFY(hexadecimal->isCheckable() && !hexadecimal->isChecked());
        const auto shown = [&view](int row) {
            return view.model()->index(row, 0).data().toString();
        };
        QAccessibleInterface* accessibleList = QAccessible::queryAccessibleInterface(&view);
        QVERIFY(accessibleList);

        list.AddCodeRow("AB");
        list.AddCodeRow(QByteArray(1000, '\xFF'));
        QTRY_COMPARE(view.model()->rowCount(), 2);
        QCOMPARE(shown(0), u",65,66"_qs);
        const QImage inDecimal = view.viewport()->grab().toImage();

        hexadecimal->trigger();
        QVERIFY(!decimal->isChecked());
        QCOMPARE(shown(0), u",41,42"_qs);
        QVERIFY(shown(1).startsWith(u",FF,FF,") && shown(1).endsWith(u'…'));
        QCOMPARE(accessibleList->child(0)->text(QAccessible::Name), u",41,42"_qs);
        QVERIFY(view.viewport()->grab().toImage() != inDecimal);
        view.setCurrentIndex(view.model()->index(1, 0));
        view.setFocus();
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), u",FF"_qs.repeated(1000));
        list.AddCodeRow("\r\n");
        QTRY_COMPARE(view.model()->rowCount(), 3);
        QCOMPARE(shown(2), u",0D,0A"_qs);
        QCOMPARE(rowText(list, 2), u",13,10"_qs); // the record's rows are what they were

        // A row that came in just before the click is gone with the others.
        list.AddCodeRow("tarde");
        clear->trigger();
        QCOMPARE(view.model()->rowCount(), 0);
        QCOMPARE(accessibleList->childCount(), 0);
        QCOMPARE(list.rowCount(), 4);
        QCOMPARE(list.rows().bytes(3), QByteArray("tarde"));
        list.AddCodeRow("z");
        QTRY_COMPARE(view.model()->rowCount(), 1);
        QCOMPARE(shown(0), u",7A"_qs);
        QCOMPARE(accessibleList->child(0)->text(QAccessible::Name), u",7A"_qs);
        QCOMPARE(list.firstRow(), 4);

        decimal->trigger();
        QVERIFY(!hexadecimal->isChecked());
        QCOMPARE(shown(0), u",122"_qs);
    }
};

QTEST_MAIN(TestCodeList)
#include "tst_codelist.moc"
