#include "support/ByteSamples.h"
#include "views/LogPane.h"

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

    void lineBreaksStartNewRows_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("rows");
        QTest::newRow("CR LF is one break") << QByteArray("a\r\nb") << 2;
        QTest::newRow("CR LF split across appends") << QByteArray("a\r|\nb") << 2;
        QTest::newRow("CR alone breaks") << QByteArray("a\rb") << 2;
        QTest::newRow("LF alone breaks") << QByteArray("a\nb") << 2;
        QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb") << 3;
        QTest::newRow("ends with a break") << QByteArray("a\r\n") << 2;
    }
    void lineBreaksStartNewRows()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, rows);
        ShownPane shown;
        for (const QByteArray& piece : bytes.split('|'))
            shown.pane.append(piece);
        QCOMPARE(shown.pane.rowCount(), rows);
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
