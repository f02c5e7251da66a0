#include "base/ControlError.h"
#include "base/FailureDispatch.h"
#include "support/RecordingMessages.h"

#include <QTest>

#include <stdexcept>

using Shown = RecordingMessages::Shown;

class TestFailureDispatch : public QObject {
    Q_OBJECT

private slots:
    void aHandlerThatSucceedsShowsNothing()
    {
        RecordingMessages messages;
        bool ran = false;
        runHandler(messages, [&] { ran = true; });
        QVERIFY(ran);
        QVERIFY(messages.shown.empty());
    }

    void everyFailureIsToldOnceWithTheCriticalIcon_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("told");
        QTest::newRow("refused control operation")
            << 0 << QStringLiteral("Error : El puerto 3 no existe.");
        QTest::newRow("any other exception") << 1 << QStringLiteral("Error : algo falló");
        QTest::newRow("out of memory")
            << 2 << QStringLiteral("Error : No queda memoria para completar la operación.");
        QTest::newRow("not even an exception") << 3 << QStringLiteral("Error : Falla desconocida.");
    }
    void everyFailureIsToldOnceWithTheCriticalIcon()
    {
        QFETCH(int, kind);
        QFETCH(QString, told);
        RecordingMessages messages;
        bool after = false;
        runHandler(messages, [&] {
            switch (kind) {
            case 0:
                throw ControlError(QStringLiteral("El puerto 3 no existe."));
            case 1:
                throw std::runtime_error("algo falló");
            case 2:
                throw std::bad_alloc();
            default:
                throw 42;
            }
            after = true;
        });
        QVERIFY(!after);
        QCOMPARE(messages.shown, (std::vector<Shown>{{told, MessageIcon::Critical}}));
    }

    // The message box runs a nested event loop: a failure of another handler inside it is told
    // too, and neither ends the program.
    void aFailureWhileAMessageIsShownIsToldToo()
    {
        RecordingMessages messages;
        messages.whileShown = [&](const Shown& shown) {
            if (shown.text.endsWith(u"primera"))
                runHandler(messages, [] { throw ControlError(QStringLiteral("segunda")); });
        };
        runHandler(messages, [] { throw ControlError(QStringLiteral("primera")); });
        QCOMPARE(messages.shown.size(), std::size_t(2));
        QCOMPARE(messages.shown[1].text, QStringLiteral("Error : segunda"));
    }
};

QTEST_APPLESS_MAIN(TestFailureDispatch)
#include "tst_failuredispatch.moc"
