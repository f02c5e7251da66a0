#include "base/ControlError.h"
#include "base/FailureDispatch.h"
#include "support/RecordingMessages.h"

#include <QTest>
#include <functional>

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
        QTest::addColumn<std::function<void()>>("fail");
        QTest::addColumn<QString>("told");
        QTest::newRow("refused control operation") << std::function<void()>([] {
            throw ControlError(QStringLiteral("El puerto 3 no existe."));
        }) << QStringLiteral("Error : El puerto 3 no existe.");
        QTest::newRow("any other exception")
            << std::function<void()>([] { throw std::runtime_error("algo falló"); })
            << QStringLiteral("Error : algo falló");
        QTest::newRow("out of memory")
            << std::function<void()>([] { throw std::bad_alloc(); })
            << QStringLiteral("Error : No queda memoria para completar la operación.");
        QTest::newRow("not even an exception") << std::function<void()>([] { throw 42; })
                                               << QStringLiteral("Error : Falla desconocida.");
    }
    void everyFailureIsToldOnceWithTheCriticalIcon()
    {
        QFETCH(std::function<void()>, fail);
        QFETCH(QString, told);
        RecordingMessages messages;
        bool after = false;
        runHandler(messages, [&] {
            fail();
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
