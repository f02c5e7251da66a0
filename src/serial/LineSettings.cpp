#include "serial/LineSettings.h"

#include "base/ControlError.h"
#include "base/DecimalDigits.h"
#include "serial/Parities.h"

#include <QStringList>

#include <cstdlib>
#include <limits>

namespace {

[[noreturn]] void refuse(const QString& settings, const QString& what, const QString& value,
                         const QString& expected)
{
    throw ControlError(QStringLiteral("La configuración %1 no es válida: %2 %3 no sirve; %4.")
                           .arg(quoted(settings), what, quoted(value), expected));
}

// A whole number in plain decimal digits, or -1.
qint64 digitsValue(const QString& text)
{
    const DecimalReading reading = readDecimal(text, {.maxLength = 9});
    return reading.isNumber() ? reading.value : -1;
}

QString stopWords(QSerialPort::StopBits stop)
{
    switch (stop) {
    case QSerialPort::OneStop:
        return QStringLiteral("1 bit de parada");
    case QSerialPort::OneAndHalfStop:
        return QStringLiteral("1,5 bits de parada");
    default:
        return QStringLiteral("%1 bits de parada").arg(int(stop));
    }
}

// "a, b y c"
QString listed(const QStringList& items)
{
    if (items.size() < 2)
        return items.join(QString());
    return items.mid(0, items.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" y ") +
           items.last();
}

} // namespace

LineSettings LineSettings::parse(const QString& settings)
{
    const QStringList parts = settings.split(u',');
    if (parts.size() != 4) {
        throw ControlError(
            QStringLiteral("La configuración %1 no es válida: debe tener cuatro partes separadas "
                           "por comas, velocidad, paridad, bits de datos y bits de parada "
                           "(por ejemplo «9600,n,8,1»).")
                .arg(quoted(settings)));
    }
    const QString speed = parts[0].trimmed();
    const QString parity = parts[1].trimmed();
    const QString data = parts[2].trimmed();
    const QString stop = parts[3].trimmed();

    LineSettings line;

    const qint64 baud = digitsValue(speed);
    if (baud <= 0 || baud > std::numeric_limits<qint32>::max()) {
        refuse(settings, QStringLiteral("la velocidad"), speed,
               QStringLiteral("debe ser un número entero de baudios mayor que cero"));
    }
    line.baudRate = qint32(baud);

    const ParityNames* names = parityOfLetter(parity);
    if (!names) {
        refuse(settings, QStringLiteral("la paridad"), parity,
               QStringLiteral("use %1; en el campo «Par», los dígitos 0 a 4")
                   .arg(parityLetterChoices()));
    }
    line.parity = names->parity;

    switch (digitsValue(data)) {
    case 5:
        line.dataBits = QSerialPort::Data5;
        break;
    case 6:
        line.dataBits = QSerialPort::Data6;
        break;
    case 7:
        line.dataBits = QSerialPort::Data7;
        break;
    case 8:
        line.dataBits = QSerialPort::Data8;
        break;
    default:
        refuse(settings, QStringLiteral("los bits de datos"), data,
               QStringLiteral("deben ser 5, 6, 7 u 8"));
    }

    switch (digitsValue(stop)) {
    case 1:
        line.stopBits = QSerialPort::OneStop;
        break;
    case 2:
        line.stopBits = QSerialPort::TwoStop;
        break;
    default:
        refuse(settings, QStringLiteral("los bits de parada"), stop,
               QStringLiteral("deben ser 1 o 2"));
    }
    return line;
}

int LineSettings::bitsPerCharacter() const
{
    const int stop = stopBits == QSerialPort::OneStop ? 1 : 2;
    return 1 + int(dataBits) + (parity == QSerialPort::NoParity ? 0 : 1) + stop;
}

QString LineSettings::differencesFrom(const LineSettings& running) const
{
    QStringList asked;
    QStringList runs;
    if (std::abs(qint64(running.baudRate) - baudRate) * 50 > baudRate) {
        asked << QStringLiteral("%1 baudios").arg(baudRate);
        runs << QStringLiteral("a %1 baudios").arg(running.baudRate);
    }
    if (running.parity != parity) {
        asked << parityWords(parity);
        runs << (running.parity == QSerialPort::NoParity
                     ? QStringLiteral("sin paridad")
                     : QStringLiteral("con %1").arg(parityWords(running.parity)));
    }
    if (running.dataBits != dataBits) {
        asked << QStringLiteral("%1 bits de datos").arg(int(dataBits));
        runs << QStringLiteral("con %1 bits de datos").arg(int(running.dataBits));
    }
    if (running.stopBits != stopBits) {
        asked << stopWords(stopBits);
        runs << QStringLiteral("con %1").arg(stopWords(running.stopBits));
    }
    if (asked.isEmpty())
        return QString();
    return QStringLiteral("se pidió %1, y el dispositivo funciona %2")
        .arg(listed(asked), listed(runs));
}
