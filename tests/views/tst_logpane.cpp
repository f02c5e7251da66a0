#include "record/SessionRecord.h"
#include "support/ByteSamples.h"
#include "support/ScreenReader.h"
#include "views/LogPane.h"
#include "views/PaneTimes.h"

#include <QAccessible>
#include <QApplication>
#include <QScrollBar>
#include <QTest>

namespace {

struct ShownPane {
    ShownPane()
    {
        pane.resize(320, 190);
        pane.show();
        if (!QTest::qWaitForWindowExposed(&pane))
            qWarning("pane not exposed");
    }
    LogPane pane;
};

// Lines of words, numbered, in CR LF: about 45 bytes each.
QByteArray numberedLines(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text += "línea " + QByteArray::number(i) + " con unas palabras para envolver\r\n";
    return text;
}

} // namespace

class TestLogPane : public QObject {
    Q_OBJECT

private slots:
    void textReadsBackExactlyAsWritten_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("CR LF") << QByteArray("uno\r\ndos\r\n");
        QTest::newRow("NUL inside") << QByteArray("a\0b", 3);
        QTest::newRow("every byte value") << allByteValues();
        QTest::newRow("lone CR and LF") << QByteArray("a\rb\nc");
    }
    void textReadsBackExactlyAsWritten()
    {
        QFETCH(QByteArray, bytes);
        LogPane pane;
        pane.append(bytes.left(3));
        pane.append(bytes.mid(3));
        QCOMPARE(pane.bytes(), bytes);
        QCOMPARE(pane.length(), bytes.size());
        QCOMPARE(pane.text().size(), bytes.size());
        QCOMPARE(pane.text().at(1), QChar(char16_t(static_cast<unsigned char>(bytes[1]))));
    }

    void appendLogWritesPrefixPayloadAndLineBreakThenPutsTheCaretAtTheEnd()
    {
        LogPane pane;
        pane.append("viejo");
        AppendLog(pane, u"Cliente : ", QByteArrayView("AB"));
        AppendLog(pane, u"*** Desconectado");
        AppendLog(pane, u"Servidor: ", QStringView(u"¿sí?"));
        QCOMPARE(pane.text(),
                 QStringLiteral("viejoCliente : AB\r\n*** Desconectado\r\nServidor: ¿sí?\r\n"));
        QCOMPARE(pane.selStart(), pane.length());
        QCOMPARE(pane.selLength(), 0);
    }

    void aPlainAppendLeavesTheCaretWhereItWas()
    {
        LogPane pane;
        AppendLog(pane, u"Conectado....");
        const qint64 caret = pane.selStart();
        pane.append("h");
        pane.append("ola");
        QCOMPARE(pane.text(), QStringLiteral("Conectado....\r\nhola"));
        QCOMPARE(pane.selStart(), caret);
    }

    void selLengthSelectsFromSelStart_data()
    {
        QTest::addColumn<qint64>("selStart");
        QTest::addColumn<qint64>("selLength");
        QTest::addColumn<QString>("selected");
        QTest::newRow("middle") << qint64(2) << qint64(3) << QStringLiteral("cde");
        QTest::newRow("past the end is cut") << qint64(8) << qint64(99) << QStringLiteral("ij");
        QTest::newRow("the whole text") << qint64(0) << qint64(10) << QStringLiteral("abcdefghij");
    }
    void selLengthSelectsFromSelStart()
    {
        QFETCH(qint64, selStart);
        QFETCH(qint64, selLength);
        QFETCH(QString, selected);
        LogPane pane;
        pane.append("abcdefghij");
        pane.setSelStart(selStart);
        pane.setSelLength(selLength);
        QCOMPARE(pane.selStart(), selStart);
        QCOMPARE(pane.selectedText(), selected);
    }

    void clearEmptiesThePaneAndTheNextTextStartsAfresh()
    {
        LogPane pane;
        AppendLog(pane, u"Conectado....");
        pane.clear();
        QCOMPARE(pane.text(), QString());
        QCOMPARE(pane.selStart(), 0);
        QCOMPARE(pane.rowCount(), 1);
        pane.append("A");
        QCOMPARE(pane.text(), QStringLiteral("A"));
    }

    // A row ending in CR LF, as every log line does, shows nothing after its text; one ending
    // in a lone CR or LF shows it there, so that the line ends a device sends can be told
    // apart.
    void lineBreaksStartNewRows_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("shown");
        QTest::newRow("CR LF is one break") << QByteArray("a\r\nb") << 2 << false;
        QTest::newRow("CR LF split across appends") << QByteArray("a\r|\nb") << 2 << false;
        QTest::newRow("CR alone breaks") << QByteArray("a\rb") << 2 << true;
        QTest::newRow("LF alone breaks") << QByteArray("a\nb") << 2 << true;
        QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb") << 3 << true;
        QTest::newRow("a device's CR, then the log's CR LF") << QByteArray("a\r\r\nb") << 2 << true;
        QTest::newRow("the same, a byte at a time") << QByteArray("a|\r|\r|\n|b") << 2 << true;
        QTest::newRow("ends with a break") << QByteArray("a\r\n") << 2 << false;
    }
    void lineBreaksStartNewRows()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, rows);
        QFETCH(bool, shown);
        ShownPane pane;
        for (const QByteArray& piece : bytes.split('|'))
            pane.pane.append(piece);
        QCOMPARE(pane.pane.rowCount(), rows);

        pane.pane.clearFocus(); // no focus ring over the text
        const QImage image = pane.pane.viewport()->grab().toImage();
        const QRect breakAt = pane.pane.characterRect(1);
        const QColor paper = pane.pane.palette().color(QPalette::Base);
        bool drawn = false;
        for (int x = breakAt.left() + 1; x < breakAt.left() + 30; ++x) {
            for (int y = breakAt.top(); y < breakAt.bottom(); ++y)
                drawn = drawn || image.pixelColor(x, y) != paper;
        }
        QCOMPARE(drawn, shown);
    }

    // Binary data with no line break at all still wraps into rows that fit the pane, and every
    // byte is in exactly one row.
    void textWithoutLineBreaksWrapsToThePaneWidth()
    {
        ShownPane shown;
        QByteArray data(20'000, 'x');
        for (int i = 0; i < data.size(); i += 7)
            data[i] = char(i % 256);
        for (int at = 0; at < data.size(); at += 4096)
            shown.pane.append(data.mid(at, 4096));
        const int width = shown.pane.viewport()->width();
        QVERIFY(shown.pane.rowCount() > 20'000 / 200);
        qint64 previousRow = 0;
        for (qint64 p = 0; p < data.size(); ++p) {
            const qint64 row = shown.pane.rowOf(p);
            QVERIFY(row == previousRow || row == previousRow + 1);
            previousRow = row;
        }
        QCOMPARE(previousRow, shown.pane.rowCount() - 1);
        shown.pane.scrollToPosition(10'000);
        QVERIFY(shown.pane.characterRect(10'000).right() <= width);
    }

    void wordsWrapWhole()
    {
        ShownPane shown;
        QByteArray words;
        for (int i = 0; i < 300; ++i)
            words += "palabra ";
        shown.pane.append(words);
        QVERIFY(shown.pane.rowCount() > 1);
        for (qint64 row = 1; row < shown.pane.rowCount(); ++row) {
            // Every row after the first starts at the beginning of a word.
            qint64 start = 0;
            for (qint64 p = 0; p < words.size(); ++p) {
                if (shown.pane.rowOf(p) == row) {
                    start = p;
                    break;
                }
            }
            QCOMPARE(words[start - 1], ' ');
        }
    }

    // A word that does not fit moves to the next row only if it fits there; a word too long
    // for any row is cut where the row ends instead, so no character is drawn past the edge.
    // A row that starts with a narrow space and then a wide word was where it went wrong.
    void aWordTooLongForAnyRowIsCutWhereTheRowEnds()
    {
        ShownPane shown;
        QByteArray text = "\r\n ";
        text += QByteArray(60, 'W');
        shown.pane.append(text);
        for (int width = 60; width <= 260; ++width) {
            shown.pane.resize(width, 190);
            const int textRight = shown.pane.viewport()->width() - shown.pane.characterRect(0).x();
            for (qint64 p = 0; p < text.size(); ++p) {
                if (shown.pane.characterRect(p).x() + shown.pane.characterRect(p).width() >
                    textRight)
                    QFAIL(qPrintable(QStringLiteral("byte %1 drawn past the edge at width %2")
                                         .arg(p)
                                         .arg(width)));
            }
        }
    }

    // However a stream is cut into appends, it wraps into the same rows.
    void rowsDoNotDependOnHowTheTextArrived_data()
    {
        QTest::addColumn<QByteArray>("alphabet");
        QTest::newRow("words and line breaks") << QByteArray("abc de  fghij\r\n klm\n\r");
        QTest::newRow("binary, no line breaks") << QByteArray("\x01\x7F\x80\xFFxyz!\t");
        QTest::newRow("spaces only") << QByteArray("  ");
        QTest::newRow("CR then LF across appends") << QByteArray("ab\r\n");
    }
    void rowsDoNotDependOnHowTheTextArrived()
    {
        QFETCH(QByteArray, alphabet);
        QByteArray stream(30'000, Qt::Uninitialized);
        quint32 state = 7;
        for (char& c : stream) {
            state = state * 1664525u + 1013904223u;
            c = alphabet[int((state >> 16) % quint32(alphabet.size()))];
        }
        ShownPane whole;
        whole.pane.append(stream);
        ShownPane pieces;
        for (qsizetype at = 0; at < stream.size();) {
            state = state * 1664525u + 1013904223u;
            const qsizetype piece = 1 + (state >> 16) % 97;
            pieces.pane.append(stream.mid(at, piece));
            at += piece;
        }
        QCOMPARE(pieces.pane.rowCount(), whole.pane.rowCount());
        for (qint64 p = 0; p < stream.size(); ++p) {
            if (pieces.pane.rowOf(p) != whole.pane.rowOf(p))
                QFAIL(qPrintable(QStringLiteral("rows differ at byte %1").arg(p)));
        }
    }

    void theOperatorCannotTypeIntoIt()
    {
        ShownPane shown;
        AppendLog(shown.pane, u"Cliente : ", QByteArrayView("AB"));
        const QString before = shown.pane.text();
        shown.pane.setFocus();
        QTest::keyClicks(&shown.pane, QStringLiteral("xyz"));
        QTest::keyClick(&shown.pane, Qt::Key_Backspace);
        QTest::keyClick(&shown.pane, Qt::Key_Delete);
        QTest::keyClick(&shown.pane, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(shown.pane.text(), before);
    }

    void draggingTheMouseSelectsText()
    {
        ShownPane shown;
        AppendLog(shown.pane, u"", QByteArrayView("primera linea"));
        AppendLog(shown.pane, u"", QByteArrayView("segunda linea"));
        QCoreApplication::processEvents();
        QWidget* surface = shown.pane.viewport();
        const QRect first = shown.pane.characterRect(0);
        const QRect sixth = shown.pane.characterRect(7);
        QTest::mousePress(surface, Qt::LeftButton, {},
                          first.center() - QPoint(first.width() / 2, 0));
        QMouseEvent move(QEvent::MouseMove, QPointF(sixth.center() - QPoint(sixth.width() / 2, 0)),
                         surface->mapToGlobal(sixth.center()), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(surface, &move);
        QTest::mouseRelease(surface, Qt::LeftButton, {}, sixth.center());
        QCOMPARE(shown.pane.selectedText(), QStringLiteral("primera"));
    }

    void theNewestLineStaysInViewAsLinesArrive()
    {
        ShownPane shown;
        for (int i = 0; i < 500; ++i)
            AppendLog(shown.pane, u"Cliente : ", QByteArray::number(i));
        const QScrollBar* bar = shown.pane.verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        const QRect last = shown.pane.characterRect(shown.pane.length());
        QVERIFY(shown.pane.viewport()->rect().intersects(last));
    }

    // A new width or font wraps a large pane again without holding the window: the pane
    // keeps showing its former rows, takes what arrives meanwhile, and when the new rows are
    // made they are those of the new width, with the text at the top (or the end) kept.
    // A gap since the previous chunk reads in seconds to the millisecond; past 9,999 s it
    // gives up decimals (cut, not rounded) rather than grow wider than its margin.
    void aRelativeTimeFitsItsMargin_data()
    {
        QTest::addColumn<qint64>("msecs");
        QTest::addColumn<QString>("shown");
        QTest::newRow("a reply") << qint64(103) << u"+0.103 s"_qs;
        QTest::newRow("just under 10,000 s") << qint64(9'999'999) << u"+9999.999 s"_qs;
        QTest::newRow("10,000 s") << qint64(10'000'000) << u"+10000.00 s"_qs;
        QTest::newRow("a day") << qint64(86'400'999) << u"+86400.99 s"_qs;
        QTest::newRow("a month") << qint64(2'592'000'000) << u"+2592000 s"_qs;
    }
    void aRelativeTimeFitsItsMargin()
    {
        QFETCH(qint64, msecs);
        QFETCH(QString, shown);
        QCOMPARE(PaneTimes::sinceText(msecs), shown);
        QVERIFY(shown.size() <= PaneTimes::widestLabel(PaneTimes::Mode::Relative).size());
    }

    void aLargePaneWrapsAgainInTheBackgroundAndKeepsItsPlace_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("following");
        QTest::newRow("narrower, scrolled back") << u"narrower"_qs << false;
        QTest::newRow("wider, following the end") << u"wider"_qs << true;
        QTest::newRow("another font, scrolled back") << u"font"_qs << false;
    }
    void aLargePaneWrapsAgainInTheBackgroundAndKeepsItsPlace()
    {
        QFETCH(QString, change);
        QFETCH(bool, following);
        ShownPane shown;
        LogPane& pane = shown.pane;
        const QByteArray text = numberedLines(120'000); // over 5 MB
        for (qsizetype at = 0; at < text.size(); at += 1 << 20)
            pane.append(
                QByteArrayView(text).sliced(at, std::min<qsizetype>(1 << 20, text.size() - at)));
        QTRY_VERIFY(!pane.rewrapping());
        const qint64 topByte = text.indexOf("línea 60000 ");
        if (!following) {
            QCoreApplication::processEvents();
            pane.scrollToPosition(topByte);
            QCOMPARE(pane.rows().rowStart(pane.firstVisibleRow()), topByte);
        }

        const qint64 rowsBefore = pane.rowCount();
        if (change == u"narrower")
            pane.resize(200, 190);
        else if (change == u"wider")
            pane.resize(500, 190);
        else
            pane.setFont(QFont(pane.font().family(), pane.font().pointSize() + 4));
        QVERIFY(pane.rewrapping());
        QCOMPARE(pane.rowCount(), rowsBefore); // the former rows, meanwhile
        const QByteArray more = numberedLines(3);
        pane.append(more);
        QTRY_VERIFY_WITH_TIMEOUT(!pane.rewrapping(), 60'000);
        QCoreApplication::processEvents();

        LogPane fresh;
        fresh.setFont(pane.font());
        fresh.resize(pane.size());
        fresh.append(text + more);
        QTRY_VERIFY_WITH_TIMEOUT(!fresh.rewrapping(), 60'000);
        QCOMPARE(pane.rowCount(), fresh.rowCount());
        QVERIFY(pane.rowCount() != rowsBefore);
        for (qint64 p = 0; p < pane.length(); p += 99'991)
            QCOMPARE(pane.rowOf(p), fresh.rowOf(p));

        const qint64 top = pane.firstVisibleRow();
        if (following) {
            QCOMPARE(pane.verticalScrollBar()->value(), pane.verticalScrollBar()->maximum());
            QVERIFY(pane.rows().rowEnd(pane.rowCount() - 1) == pane.length());
            QVERIFY(top + 20 >= pane.rowCount());
        } else {
            QVERIFY(pane.rows().rowStart(top) <= topByte && topByte < pane.rows().rowEnd(top));
        }
    }

    // Memory that the pane keeps per row of its own counts with the session's, so that the
    // warning of a short memory sees it; a pane gone no longer counts.
    void theRowIndexCountsInTheSessionMemory()
    {
        SessionRecord record;
        SessionRecord plain;
        const QByteArray lines(1 << 20, '\n');
        {
            LogPane pane;
            pane.attach(record, Link::Server);
            pane.append(lines);
            plain.appendToPane(Link::Server, lines);
            QVERIFY(SessionRecord::waitUntilCompressed(30'000));
            QVERIFY(pane.rows().indexBytes() > 0);
            QCOMPARE(record.heldBytes(), plain.heldBytes() + pane.rows().indexBytes());
        }
        QCOMPARE(record.heldBytes(), plain.heldBytes());
    }

    // "Limpiar" is told as the removal it is (an update event of the wrong kind is read by the
    // desktop's bridge as the one it claims to be), and what arrives after it from position 0.
    void theScreenReaderHearsLimpiarAndTheTextAfterIt()
    {
        if (!ScreenReader::available())
            QSKIP("this platform has no accessibility to switch on");
        ShownPane shown;
        AppendLog(shown.pane, u"Cliente : ", QByteArrayView("antes"));
        QCoreApplication::processEvents();
        const ScreenReader reader;
        shown.pane.clear();
        AppendLog(shown.pane, u"Cliente : ", QByteArrayView("des\x01pu\xE9s"));
        QCOMPARE(reader.heardFrom(&shown.pane, QAccessible::TextRemoved).size(), 1u);
        QTRY_COMPARE(reader.heardFrom(&shown.pane, QAccessible::TextInserted).size(), 1u);
        const ScreenReader::Heard heard =
            reader.heardFrom(&shown.pane, QAccessible::TextInserted).front();
        QCOMPARE(heard.position, 0);
        QCOMPARE(heard.text, u"Cliente : des\u2401pués\r\n"_qs);
    }

    void accessibilityToolsReadItAsReadOnlyText()
    {
        ShownPane shown;
        AppendLog(shown.pane, u"Cliente conectado. IP : ", QStringView(u"127.0.0.1"));
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(&shown.pane);
        QVERIFY(face);
        QCOMPARE(face->role(), QAccessible::EditableText);
        QVERIFY(face->state().readOnly);
        QVERIFY(face->state().multiLine);
        QAccessibleTextInterface* text = face->textInterface();
        QVERIFY(text);
        QCOMPARE(text->characterCount(), int(shown.pane.length()));
        QCOMPARE(text->text(0, text->characterCount()), shown.pane.text());
        QCOMPARE(face->text(QAccessible::Value), shown.pane.text());
        QCOMPARE(text->cursorPosition(), int(shown.pane.length()));
    }
};

QTEST_MAIN(TestLogPane)
#include "tst_logpane.moc"
