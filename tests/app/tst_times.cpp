#include "codes/CodeListModel.h"
#include "codes/CodeListView.h"
#include "record/SessionRecord.h"
#include "support/Saving.h"
#include "support/ScreenReader.h"
#include "support/WindowUnderTest.h"
#include "views/LogPane.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

QAction* entry(QWidget& view, const QString& text)
{
    for (QAction* action : view.actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

// The pane's lines (without their line breaks), in order.
QStringList paneLines(const LogPane& pane)
{
    QStringList lines = pane.text().split(u"\r\n"_qs);
    lines.removeLast(); // after the last line break
    return lines;
}

ServerFrmPlatform platformSavingTo(const QString& path)
{
    ServerFrmPlatform platform;
    platform.askSavePath = [path](QWidget*, const QString&, const QString&) {
        return path;
    };
    return platform;
}

QString clock(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs).toString(u"HH:mm:ss.zzz"_qs);
}

} // namespace

class TestTimes : public QObject {
    Q_OBJECT

    // A window listening under TCP, a peer connected, and two chunks received in two turns:
    // "uno", then "dos\r\ntres" (one chunk over two lines).
    struct Session {
        QTemporaryDir folder;
        // "Guardar como…" saves here.
        QString path = folder.filePath(u"panel.txt"_qs);
        WindowUnderTest w{platformSavingTo(path)};
        QTcpSocket peer;
        qint64 first = 0; // the chunks' arrival times, from the record
        qint64 second = 0;

        bool start()
        {
            peer.connectToHost(QHostAddress::LocalHost, listenUnderTcp(w));
            if (!peer.waitForConnected(5000))
                return false;
            for (const QByteArray& chunk : {QByteArray("uno"), QByteArray("dos\r\ntres")}) {
                const qint64 total = w->sessionRecord().codeRowBytesTotal() + chunk.size();
                peer.write(chunk);
                if (!QTest::qWaitFor(
                        [&] { return w->sessionRecord().codeRowBytesTotal() == total; }))
                    return false;
            }
            first = w->sessionRecord().codeRowTime(0);
            second = w->sessionRecord().codeRowTime(1);
            return true;
        }
    };

private slots:
    // Each line shows the arrival of its first received byte, as the record has it; lines the
    // window wrote itself show none; a chunk's second line shows the chunk's time.
    void eachLineShowsTheTimeOfItsFirstReceivedByte_data()
    {
        QTest::addColumn<bool>("relative");
        QTest::newRow("Mostrar hora") << false;
        QTest::newRow("Hora relativa") << true;
    }
    void eachLineShowsTheTimeOfItsFirstReceivedByte()
    {
        QFETCH(bool, relative);
        Session s;
        QVERIFY(s.start());
        LogPane& pane = *s.w.ui->Text3;
        QVERIFY(pane.rowTime(0).isEmpty()); // hidden at first
        entry(pane, u"Mostrar hora"_qs)->trigger();
        if (relative)
            entry(pane, u"Hora relativa"_qs)->trigger();
        const QString gap =
            QStringLiteral("+%1 s").arg(double(s.second - s.first) / 1000.0, 0, 'f', 3);
        const QStringList lines = paneLines(pane);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[1], u"Cliente : uno"_qs);
        const QStringList expected =
            relative ? QStringList{QString(), u"+0.000 s"_qs, gap, u"+0.000 s"_qs}
                     : QStringList{QString(), clock(s.first), clock(s.second), clock(s.second)};
        QStringList shown;
        for (qint64 row = 0; row < pane.rowCount() - 1; ++row)
            shown << pane.rowTime(row);
        QCOMPARE(shown, expected);
        // A screen reader reading the line hears its time first.
        QAccessibleTextInterface* reader =
            QAccessible::queryAccessibleInterface(&pane)->textInterface();
        int start = 0;
        int end = 0;
        QCOMPARE(
            reader->textAtOffset(int(lines[0].size()) + 3, QAccessible::LineBoundary, &start, &end),
            expected[1] + u'\t' + lines[1] + u"\r\n"_qs);

        // A new line is told with its time first.
        if (ScreenReader::available()) {
            const ScreenReader listener;
            s.peer.write("cinco");
            const auto told = [&] {
                const auto heard = listener.heardFrom(&pane, QAccessible::TextInserted);
                return heard.empty() ? QString() : heard.back().text;
            };
            // A line told before may still be on its way: the new one comes after it.
            QTRY_VERIFY(told().endsWith(u"cinco\r\n"_qs));
            const QString time = pane.rowTime(pane.rowCount() - 2);
            QVERIFY(!time.isEmpty());
            QCOMPARE(told(), time + u"\tCliente : cinco\r\n"_qs);
        }

        entry(pane, u"Mostrar hora"_qs)->trigger();
        QVERIFY(pane.rowTime(1).isEmpty());
    }

    // The list's "Hora" column: each row's arrival (or the time since the row before), read
    // and copied before its codes with a tab; gone again when unchecked.
    void theListShowsEachRowsTimeInAHoraColumn_data()
    {
        QTest::addColumn<bool>("relative");
        QTest::newRow("Mostrar hora") << false;
        QTest::newRow("Hora relativa") << true;
    }
    void theListShowsEachRowsTimeInAHoraColumn()
    {
        QFETCH(bool, relative);
        Session s;
        QVERIFY(s.start());
        CodeListView& list = *s.w.ui->ListView1;
        const auto rowText = [&list](int row) {
            return list.model()->index(row, 0).data(Qt::DisplayRole).toString();
        };
        QTRY_COMPARE(list.model()->rowCount(), 2); // the list hears of rows once a frame
        const QString codes = rowText(1);
        entry(list, u"Mostrar hora"_qs)->trigger();
        if (relative)
            entry(list, u"Hora relativa"_qs)->trigger();
        QCOMPARE(list.header()->count(), 2);
        QCOMPARE(list.header()->model()->headerData(0, Qt::Horizontal).toString(), u"Hora"_qs);
        const QString time =
            relative ? QStringLiteral("+%1 s").arg(double(s.second - s.first) / 1000.0, 0, 'f', 3)
                     : clock(s.second);
        QCOMPARE(rowText(1), time + u'\t' + codes);
        list.setFocus();
        list.selectionModel()->setCurrentIndex(list.model()->index(1, 0),
                                               QItemSelectionModel::ClearAndSelect);
        entry(list, u"Copiar"_qs)->trigger();
        QCOMPARE(QApplication::clipboard()->text(), time + u'\t' + codes);

        entry(list, u"Mostrar hora"_qs)->trigger();
        QCOMPARE(list.header()->count(), 1);
        QCOMPARE(rowText(1), codes);
    }

    // Copying or saving a pane with times shown puts each line's time and a tab before it;
    // hidden, the text is copied and saved exactly as shown.
    void copyingAndSavingIncludeTheTimesOnlyWhenShown_data()
    {
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("how");
        for (const QString& how : {u"Copiar"_qs, u"Guardar como…"_qs}) {
            QTest::addRow("%s, hidden", qPrintable(how)) << false << how;
            QTest::addRow("%s, shown", qPrintable(how)) << true << how;
        }
    }
    void copyingAndSavingIncludeTheTimesOnlyWhenShown()
    {
        QFETCH(bool, shown);
        QFETCH(QString, how);
        Session s;
        QVERIFY(s.start());
        LogPane& pane = *s.w.ui->Text3;
        if (shown)
            entry(pane, u"Mostrar hora"_qs)->trigger();
        QString expected = pane.text();
        if (shown) {
            const QStringList lines = paneLines(pane);
            expected = u"\t"_qs + lines[0] + u"\r\n"_qs + clock(s.first) + u"\t"_qs + lines[1] +
                       u"\r\n"_qs + clock(s.second) + u"\t"_qs + lines[2] + u"\r\n"_qs +
                       clock(s.second) + u"\t"_qs + lines[3] + u"\r\n"_qs;
        }
        pane.setFocus();
        if (how == u"Copiar"_qs) {
            entry(pane, u"Seleccionar todo"_qs)->trigger();
            entry(pane, how)->trigger();
            QCOMPARE(QApplication::clipboard()->text(), expected);
        } else {
            entry(pane, how)->trigger();
            QTRY_COMPARE(fileBytes(s.path), expected.toLatin1());
        }
    }
};

QTEST_MAIN(TestTimes)
#include "tst_times.moc"
