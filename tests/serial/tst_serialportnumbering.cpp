#include "serial/SerialPortNumbering.h"

#include <QFile>
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
};

QTEST_MAIN(TestSerialPortNumbering)
#include "tst_serialportnumbering.moc"
