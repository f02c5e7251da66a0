#include "serial/SerialPortNumbering.h"

#include "base/DecimalDigits.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// The conventional device names and the numbers they take, on systems without COM names.
struct NumberRange {
    const char16_t* prefix;
    std::int16_t first;
    std::int16_t last;
};
constexpr NumberRange kRanges[] = {
    {u"ttyS", 1, 99},
    {u"ttyUSB", 100, 199},
    {u"ttyACM", 200, 299},
};

// Whole numbers written the plain way ("7", not "07"), or -1.
int plainNumber(QStringView text)
{
    const DecimalReading reading = readDecimal(text, {.leadingZeros = false, .maxLength = 5});
    return reading.isNumber() ? int(reading.value) : -1;
}

} // namespace

SerialPortNumbering::SerialPortNumbering(QString deviceDirectory)
    : m_directory(std::move(deviceDirectory))
{
}

QString SerialPortNumbering::portLabel(std::int16_t number)
{
    return QStringLiteral("COM%1").arg(number);
}

QString SerialPortNumbering::deviceFor(std::int16_t number) const
{
    if (number < 1)
        return {};
#ifdef Q_OS_WIN
    return portLabel(number);
#else
    const QString alias = m_directory + QStringLiteral("/com%1").arg(number);
    const QFileInfo aliasInfo(alias);
    // An alias whose device has gone still names the port: the operator hears that the
    // device is missing, not about some other device the number would fall back to.
    if (aliasInfo.exists() || aliasInfo.isSymLink())
        return alias;
    for (const NumberRange& range : kRanges) {
        if (number >= range.first && number <= range.last) {
            return m_directory + u'/' + QString::fromUtf16(range.prefix) +
                   QString::number(number - range.first);
        }
    }
    return {};
#endif
}

QString SerialPortNumbering::describe(std::int16_t number) const
{
    const QString label = portLabel(number);
    const QString device = deviceFor(number);
    if (device.isEmpty() || device == label)
        return label;
    return QStringLiteral("%1 (%2)").arg(label, device);
}

std::int16_t SerialPortNumbering::numberOf(const QString& device) const
{
#ifdef Q_OS_WIN
    if (device.startsWith(u"COM", Qt::CaseInsensitive)) {
        const int number = plainNumber(QStringView(device).mid(3));
        if (number > 0 && number <= std::numeric_limits<std::int16_t>::max())
            return std::int16_t(number);
    }
    return 0;
#else
    const QFileInfo info(device);
    if (info.absolutePath() != QFileInfo(m_directory).absoluteFilePath())
        return 0;
    const QString name = info.fileName();
    for (const NumberRange& range : kRanges) {
        const QString prefix = QString::fromUtf16(range.prefix);
        if (!name.startsWith(prefix))
            continue;
        const int index = plainNumber(QStringView(name).mid(prefix.size()));
        if (index >= 0 && index <= range.last - range.first)
            return std::int16_t(range.first + index);
    }
    return 0;
#endif
}

std::vector<SerialPortNumbering::NumberedPort>
SerialPortNumbering::present(const QStringList& systemPorts) const
{
    std::vector<NumberedPort> ports;
#ifndef Q_OS_WIN
    const QDir directory(m_directory);
    const QStringList aliases = directory.entryList(
        {QStringLiteral("com*")}, QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : aliases) {
        const int number = plainNumber(QStringView(name).mid(3));
        const QFileInfo alias(directory.filePath(name));
        if (number < 1 || number > std::numeric_limits<std::int16_t>::max() || !alias.exists())
            continue;
        ports.push_back({std::int16_t(number), alias.filePath(),
                         alias.isSymLink() ? alias.symLinkTarget() : QString()});
    }
#endif
    for (const QString& device : systemPorts) {
        const std::int16_t number = numberOf(device);
        if (number == 0 || deviceFor(number) != device)
            continue; // no number, or an alias has taken its number
        if (std::none_of(ports.begin(), ports.end(),
                         [&](const NumberedPort& port) { return port.number == number; }))
            ports.push_back({number, device, QString()});
    }
    std::sort(ports.begin(), ports.end(),
              [](const NumberedPort& a, const NumberedPort& b) { return a.number < b.number; });
    return ports;
}

QString SerialPortNumbering::hint(const QStringList& systemPorts) const
{
    QString text = QStringLiteral("Número del puerto serie (1 es COM1).");
    const std::vector<NumberedPort> ports = present(systemPorts);
    if (ports.empty()) {
        text += QStringLiteral("\nNo hay ningún puerto serie presente ahora.");
    } else {
        text += QStringLiteral("\nPresentes ahora:");
        for (const NumberedPort& port : ports) {
            text += QStringLiteral("\n%1 = %2").arg(port.number).arg(port.device);
            if (!port.target.isEmpty())
                text += QStringLiteral(" → ") + port.target;
        }
    }
#ifndef Q_OS_WIN
    text += QStringLiteral("\nUn alias %1/comN da el número N a cualquier dispositivo.")
                .arg(m_directory);
#endif
    return text;
}

QStringList SerialPortNumbering::systemPorts()
{
    QStringList ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        ports << info.portName();
#else
        ports << info.systemLocation();
#endif
    }
    return ports;
}
