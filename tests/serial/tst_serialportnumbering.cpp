#include "serial/SerialPortNumbering.h"
#include "support/PseudoTerminal.h"
#include "support/WindowUnderTest.h"

#include <QFile>
#include <QHelpEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

class TestSerialPortNumbering : public QObject {
    Q_OBJECT

private slots:
    void numbersNameDevices_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("device"); // in the device directory; empty: none
        QTest::newRow("1") << 1 << "ttyS0";
        QTest::newRow("99") << 99 << "ttyS98";
        QTest::newRow("100") << 100 << "ttyUSB0";
        QTest::newRow("199") << 199 << "ttyUSB99";
        QTest::newRow("200") << 200 << "ttyACM0";
        QTest::newRow("299") << 299 << "ttyACM99";
        QTest::newRow("alias before ttyUSB50") << 150 << "com150";
        QTest::newRow("alias 999") << 999 << "com999";
        QTest::newRow("0") << 0 << "";
        QTest::newRow("-1") << -1 << "";
        QTest::newRow("300") << 300 << "";
    }
    void numbersNameDevices()
    {
        QFETCH(int, number);
        QFETCH(QString, device);
        QTemporaryDir directory;
        for (const char* alias : {"com150", "com999"})
            QFile(directory.filePath(QString::fromLatin1(alias))).open(QIODevice::WriteOnly);
        const SerialPortNumbering numbering(directory.path());
        const QString path = device.isEmpty() ? QString() : directory.filePath(device);
        QCOMPARE(numbering.deviceFor(std::int16_t(number)), path);
        QCOMPARE(numbering.describe(std::int16_t(number)),
                 path.isEmpty() ? QStringLiteral("COM%1").arg(number)
                                : QStringLiteral("COM%1 (%2)").arg(number).arg(path));
    }

    // The hint is made as it is about to show: it lists what is there then, working aliases
    // and the numbered system ports that no alias has taken.
    void theHintListsThePortsPresentWhenItShows()
    {
        QTemporaryDir directory;
        ServerFrmPlatform platform;
        platform.serialDeviceDirectory = directory.path();
        WindowUnderTest w(std::move(platform));
        PseudoTerminal line;
        QFile::link(line.device(), directory.filePath(QStringLiteral("com12")));
        QFile::link(directory.filePath(QStringLiteral("gone")), directory.filePath("com9"));

        QLineEdit* field = w.ui->MaskEdBox1;
        QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), field->mapToGlobal(QPoint(2, 2)));
        QCoreApplication::sendEvent(field, &hover);
        const QString hint = field->toolTip();
        QVERIFY2(
            hint.contains(QStringLiteral("12 = %1 → %2")
                              .arg(directory.filePath(QStringLiteral("com12")), line.device())),
            qPrintable(hint));
        QVERIFY2(!hint.contains(u"com9"), qPrintable(hint));

        const SerialPortNumbering numbering(directory.path());
        const QString system = numbering.hint({directory.filePath(QStringLiteral("ttyUSB0")),
                                               directory.filePath(QStringLiteral("ttyS11")),
                                               directory.filePath(QStringLiteral("ttyAMA0"))});
        QVERIFY2(system.contains(QStringLiteral("100 = %1").arg(directory.filePath("ttyUSB0"))),
                 qPrintable(system));
        QVERIFY2(!system.contains(u"ttyS11") && !system.contains(u"ttyAMA0"), qPrintable(system));
    }
};

QTEST_MAIN(TestSerialPortNumbering)
#include "tst_serialportnumbering.moc"
