#include "app/SentHistory.h"

#include <QTest>

namespace {

// Plays keys on a box that starts with `typed`, after `sent` went out from it: U and D are Up
// and Down, e is the operator typing "!", s is a send that went out. Returns what the box
// shows after each key.
QStringList play(const QStringList& sent, const QString& typed, const QString& keys)
{
    SentHistory history;
    for (const QString& text : sent)
        history.record(text);
    QString box = typed;
    QStringList shown;
    for (const QChar key : keys) {
        std::optional<QString> recalled;
        if (key == u'U') {
            recalled = history.older(box);
        } else if (key == u'D') {
            recalled = history.newer();
        } else if (key == u'e') {
            box += u'!';
            history.stopWalking();
        } else if (key == u's') {
            history.record(box);
            box.clear();
        }
        if (recalled)
            box = *recalled;
        shown << box;
    }
    return shown;
}

} // namespace

class TestSentHistory : public QObject {
    Q_OBJECT

private slots:
    void upAndDownWalkAsAShellDoes_data()
    {
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("nothing sent: the keys change nothing") << QStringList() << "abc"
                                                               << "UD" << QStringList{"abc", "abc"};
        QTest::newRow("newest first, then back to what was typed")
            << QStringList{"uno", "dos", "tres"} << "cua"
            << "UUUUDDDD" << QStringList{"tres", "dos", "uno", "uno", "dos", "tres", "cua", "cua"};
        QTest::newRow("a text sent twice running is kept once")
            << QStringList{"a", "b", "b", "a"} << ""
            << "UUUU" << QStringList{"a", "b", "a", "a"};
        QTest::newRow("empty sends are not kept") << QStringList{"x", ""} << ""
                                                  << "UU" << QStringList{"x", "x"};
        QTest::newRow("typing ends the walk: Up starts from the newest again")
            << QStringList{"uno", "dos"} << ""
            << "UUeUD" << QStringList{"dos", "uno", "uno!", "dos", "uno!"};
        QTest::newRow("a recalled text sent again becomes the newest")
            << QStringList{"uno", "dos"} << ""
            << "UUsUUU" << QStringList{"dos", "uno", "", "uno", "dos", "uno"};
    }
    void upAndDownWalkAsAShellDoes()
    {
        QFETCH(QStringList, sent);
        QFETCH(QString, typed);
        QFETCH(QString, keys);
        QFETCH(QStringList, shown);
        QCOMPARE(play(sent, typed, keys), shown);
    }

    void theHundredNewestAreKept()
    {
        QStringList sent;
        for (int i = 1; i <= 150; ++i)
            sent << QString::number(i);
        const QStringList shown = play(sent, QString(), QString(101, u'U'));
        QCOMPARE(shown.first(), QStringLiteral("150"));
        QCOMPARE(shown[99], QStringLiteral("51"));
        QCOMPARE(shown[100], QStringLiteral("51"));
    }
};

QTEST_MAIN(TestSentHistory)
#include "tst_senthistory.moc"
