// Finding in the log panes and the code list of the real window: Ctrl+F, the field "Buscar",
// Enter / F3 / Shift+F3, the label with the link and arrival time, Esc.

#include "support/RecordProbe.h"
#include "support/WindowUnderTest.h"

#include "codes/CodeListView.h"
#include "record/SessionRecord.h"
#include "views/FindBar.h"
#include "views/LogPane.h"

#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {

// A chunk received on a link, as its handler writes it: its code row, then its pane's line.
void receive(WindowUnderTest& w, LogPane& pane, QByteArrayView chunk)
{
    w->sessionRecord().addCodeRow(chunk);
    AppendLog(pane, u"", chunk);
}

// A serial line as the port delivers it: a row per character, no line added by the window.
void receiveSerial(WindowUnderTest& w, QByteArrayView line)
{
    for (const char c : line) {
        w->sessionRecord().addCodeRow(QByteArrayView(&c, 1));
        w.ui->Text2->appendReceived(QByteArrayView(&c, 1));
    }
}

QString timeText(qint64 msecs)
{
    return QDateTime::fromMSecsSinceEpoch(msecs).toString(u"HH:mm:ss.zzz"_qs);
}

FindBar* openFind(QWidget* view)
{
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    auto* bar = view->parentWidget()->findChild<FindBar*>(view->objectName() + u"_find"_qs);
    return bar && bar->isVisible() ? bar : nullptr;
}

// Types the query in the given mode and presses the keys; waits for each search to end.
bool search(FindBar* bar, const QString& query, int mode, const QList<QKeyCombination>& keys)
{
    bar->modeBox()->setCurrentIndex(mode);
    bar->field()->setText(query);
    for (const QKeyCombination key : keys) {
        QSignalSpy ended(bar, &FindBar::searchEnded);
        QTest::keyClick(bar->field(), key.key(), key.keyboardModifiers());
        if (ended.isEmpty() && !ended.wait(10'000))
            return false;
    }
    return true;
}

const QKeyCombination kEnter{Qt::Key_Return};
const QKeyCombination kF3{Qt::Key_F3};
const QKeyCombination kShiftF3{Qt::ShiftModifier, Qt::Key_F3};

} // namespace

class tst_Find : public QObject {
    Q_OBJECT

private slots:
    void findsInPane_data();
    void findsInPane();
    void findsAcrossSerialRowsInList_data();
    void findsAcrossSerialRowsInList();
    void saysWhatIsWrongOrMissing_data();
    void saysWhatIsWrongOrMissing();
    void escCancelsThenCloses();
};

void tst_Find::findsInPane_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<QKeyCombination>>("keys");
    // Which occurrence of the sought bytes is selected at the end (0: the first).
    QTest::addColumn<int>("occurrence");
    QTest::addColumn<QByteArray>("sought");

    const qint64 block = SessionRecord::kBlockSize;
    // The pane holds "Conectado\r\n", then each chunk and a CR LF after it: the alarm straddles
    // the first block's end.
    QTest::newRow("text across a block boundary")
        << QByteArrayList{QByteArray(block - 15, 'x') + "ALARM E03"} << u"ALARM E03"_qs << 0
        << QList{kEnter} << 0 << QByteArray("ALARM E03");
    QTest::newRow("hex") << QByteArrayList{"\x01\x02", QByteArray("ab\x02\x41\x03zz")}
                         << u"02 41 03"_qs << 1 << QList{kF3} << 0 << QByteArray("\x02\x41\x03");
    QTest::newRow("hex without spaces")
        << QByteArrayList{QByteArray("\x02\x41\x03")} << u"024103"_qs << 1 << QList{kEnter} << 0
        << QByteArray("\x02\x41\x03");
    QTest::newRow("escapes") << QByteArrayList{"E03", "E03 fin"} << u"E03\\r\\n"_qs << 2
                             << QList{kEnter} << 0 << QByteArray("E03\r\n");
    QTest::newRow("escaped byte") << QByteArrayList{"a\x1b[0m"} << u"\\x1B["_qs << 2
                                  << QList{kEnter} << 0 << QByteArray("\x1b[");
    QTest::newRow("code page") << QByteArrayList{"precio 5 \x80", "canci\xf3n"} << u"canción"_qs
                               << 0 << QList{kEnter} << 0 << QByteArray("canci\xf3n");
    QTest::newRow("next, next") << QByteArrayList{"OK 1", "OK 2", "OK 3"} << u"OK"_qs << 0
                                << QList{kEnter, kF3} << 1 << QByteArray("OK");
    QTest::newRow("next wraps to the first") << QByteArrayList{"OK 1", "OK 2"} << u"OK"_qs << 0
                                             << QList{kEnter, kF3, kF3} << 0 << QByteArray("OK");
    QTest::newRow("previous from the end is the last")
        << QByteArrayList{"OK 1", "OK 2", "OK 3"} << u"OK"_qs << 0 << QList{kShiftF3} << 2
        << QByteArray("OK");
    QTest::newRow("previous after next")
        << QByteArrayList{"OK 1", "OK 2", "OK 3"} << u"OK"_qs << 0
        << QList{kEnter, kF3, kF3, kShiftF3} << 1 << QByteArray("OK");
}

void tst_Find::findsInPane()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QString, query);
    QFETCH(int, mode);
    QFETCH(QList<QKeyCombination>, keys);
    QFETCH(int, occurrence);
    QFETCH(QByteArray, sought);

    WindowUnderTest w;
    LogPane& pane = *w.ui->Text3;
    AppendLog(pane, u"Conectado");
    for (const QByteArray& chunk : chunks)
        receive(w, pane, chunk);
    FindBar* bar = openFind(&pane);
    QVERIFY(bar);
    QCOMPARE(bar->field()->accessibleName(), u"Buscar"_qs);
    QVERIFY(search(bar, query, mode, keys));

    const QByteArray text = pane.bytes();
    qint64 at = -1;
    for (int i = 0; i <= occurrence; ++i)
        at = text.indexOf(sought, at + 1);
    QVERIFY(at >= 0);
    QCOMPARE(pane.selStart(), at);
    QCOMPARE(pane.selLength(), sought.size());
    QVERIFY(pane.rowOf(at) >= pane.firstVisibleRow());
    // The label tells the link and the arrival time of the chunk that holds the match.
    qint64 row = 0;
    while (RecordProbe::panePosition(w->sessionRecord(), row) +
               w->sessionRecord().codeRowLength(row) <=
           at)
        ++row;
    QCOMPARE(bar->place()->text(),
             u"Servidor, "_qs + timeText(w->sessionRecord().codeRowTime(row)));
}

void tst_Find::findsAcrossSerialRowsInList_data()
{
    QTest::addColumn<QList<QKeyCombination>>("keys");
    QTest::addColumn<int>("line");
    QTest::newRow("first") << QList{kEnter} << 0;
    QTest::newRow("second") << QList{kEnter, kF3} << 1;
    QTest::newRow("wraps back") << QList{kEnter, kF3, kF3} << 0;
    QTest::newRow("previous is the last") << QList{kShiftF3} << 1;
}

void tst_Find::findsAcrossSerialRowsInList()
{
    QFETCH(QList<QKeyCombination>, keys);
    QFETCH(int, line);

    WindowUnderTest w;
    // A meter's lines, a row per character, with a TCP chunk arriving in the middle of one.
    receiveSerial(w, "T=23.4C\r\nT=2");
    receive(w, *w.ui->Text3, "T=23.4C no es de la serie");
    receiveSerial(w, "3.4C\r\n");
    QTest::qWait(0);
    CodeListView* list = w.ui->ListView1;
    FindBar* bar = openFind(list);
    QVERIFY(bar);
    // The TCP chunk holds the same text but no CR: it is no match, nor does it break one.
    QVERIFY(search(bar, u"=23.4C\\r"_qs, 2, keys));

    const qint64 first = line == 0 ? 1 : 10;
    QList<int> expected;
    for (qint64 row = first; expected.size() < 7; ++row) {
        if (w->sessionRecord().codeRowLink(row) == Link::Serial)
            expected.append(int(row));
    }
    QList<int> selected;
    for (const QModelIndex& index : list->selectionModel()->selectedIndexes())
        selected.append(index.row());
    std::sort(selected.begin(), selected.end());
    QCOMPARE(selected, expected);
    QCOMPARE(list->currentIndex().row(), expected.first());
    QCOMPARE(bar->place()->text(),
             u"Serie, "_qs + timeText(w->sessionRecord().codeRowTime(expected.first())));
}

void tst_Find::saysWhatIsWrongOrMissing_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("said");
    // The part of the field the reason is about, selected there.
    QTest::addColumn<QString>("marked");
    QTest::newRow("no match") << u"ALARM"_qs << 0 << u"no hay coincidencias"_qs << QString();
    QTest::newRow("no match in hex") << u"FF FE"_qs << 1 << u"no hay coincidencias"_qs << QString();
    QTest::newRow("odd hex") << u"02 4"_qs << 1
                             << u"«4» es un dígito suelto: cada byte se escribe con dos dígitos "
                                u"(04)."_qs
                             << u"4"_qs;
    QTest::newRow("not hex") << u"0G"_qs << 1 << u"«G» no es un dígito hexadecimal (0-9, A-F)."_qs
                             << u"G"_qs;
    QTest::newRow("unknown escape") << u"a\\q"_qs << 2
                                    << u"«\\q». Se admiten \\r, \\n, \\t, \\0, \\\\ y "
                                       u"\\xHH (dos dígitos hexadecimales)."_qs
                                    << u"\\q"_qs;
    QTest::newRow("empty") << QString() << 0 << u"Escriba qué buscar"_qs << QString();
}

void tst_Find::saysWhatIsWrongOrMissing()
{
    QFETCH(QString, query);
    QFETCH(int, mode);
    QFETCH(QString, said);
    QFETCH(QString, marked);

    WindowUnderTest w;
    LogPane& pane = *w.ui->Text4;
    receive(w, pane, "hola");
    pane.setSelStart(2);
    FindBar* bar = openFind(&pane);
    QVERIFY(bar);
    QVERIFY(search(bar, query, mode, {kEnter}));
    QCOMPARE(bar->place()->text(), said);
    if (!marked.isEmpty())
        QCOMPARE(bar->field()->selectedText(), marked);
    QCOMPARE(pane.selStart(), 2);
    QCOMPARE(pane.selLength(), 0);
}

void tst_Find::escCancelsThenCloses()
{
    WindowUnderTest w;
    LogPane& pane = *w.ui->Text3;
    const QRect shape = pane.geometry();
    QByteArray chunk(1 << 20, 'x');
    for (int i = 0; i < 4; ++i)
        receive(w, pane, chunk);
    receive(w, pane, "ALARM");
    pane.setSelStart(0);
    FindBar* bar = openFind(&pane);
    QVERIFY(bar);
    QCOMPARE(bar->geometry().top(), shape.top());
    QCOMPARE(pane.geometry().bottom(), shape.bottom());
    QVERIFY(pane.geometry().top() >= bar->geometry().bottom());

    bar->field()->setText(u"ALARM"_qs);
    bar->find(RecordSearch::Direction::Next);
    QVERIFY(bar->searching());
    QTest::keyClick(bar->field(), Qt::Key_Escape); // cancels, before any result is shown
    QVERIFY(!bar->searching());
    QCOMPARE(bar->place()->text(), u"Búsqueda cancelada"_qs);
    QTest::qWait(0);
    QCOMPARE(pane.selLength(), 0);
    QVERIFY(bar->isVisible());

    QTest::keyClick(bar->field(), Qt::Key_Escape); // closes the bar, giving the strip back
    QVERIFY(!bar->isVisible());
    QCOMPARE(pane.geometry(), shape);
    QVERIFY(pane.hasFocus());
}

QTEST_MAIN(tst_Find)
#include "tst_find.moc"
