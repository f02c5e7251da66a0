#include "support/SerialBench.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

SerialBench::SerialBench(QtSerialControl::AccessCheck mayOpen)
{
    alias(5, line);
    ServerFrmPlatform platform;
    platform.mscomm1 =
        std::make_unique<QtSerialControl>(SerialPortNumbering(devices.path()), std::move(mayOpen));
    platform.serialDeviceDirectory = devices.path();
    w = std::make_unique<WindowUnderTest>(std::move(platform));
}

void SerialBench::alias(int number, const PseudoTerminal& to) const
{
    const QString alias = path(QStringLiteral("com%1").arg(number));
    QFile::remove(alias);
    QFile::link(to.device(), alias);
}

void SerialBench::connectWith(const QStringList& comVelDatParBits)
{
    connectSerial(window(), comVelDatParBits);
}

void connectSerial(ServerFrm& f, const QStringList& comVelDatParBits)
{
    const QList<QLineEdit*> fields = {f.controls().MaskEdBox1, f.controls().MaskEdBox5,
                                      f.controls().MaskEdBox2, f.controls().MaskEdBox3,
                                      f.controls().MaskEdBox4};
    for (int i = 0; i < fields.size(); ++i) {
        fields[i]->setFocus();
        fields[i]->selectAll();
        QTest::keyClick(fields[i], Qt::Key_Delete);
        QTest::keyClicks(fields[i], comVelDatParBits.value(i));
    }
    QTest::mouseClick(f.controls().Command2, Qt::LeftButton);
}

void SerialBench::connect()
{
    connectWith({QStringLiteral("5"), QStringLiteral("9600"), QStringLiteral("8"),
                 QStringLiteral("0"), QStringLiteral("1")});
}

void SerialBench::send(const QString& text)
{
    window().controls().Text1->setText(text);
    QTest::mouseClick(window().controls().Command3, Qt::LeftButton);
}
