// The settings string, for any text an operator or a program could write:
// - LineSettings::parse either returns or throws ControlError, never anything else;
// - it accepts exactly what a plain reading of the documented form accepts ("speed,parity,
//   data bits,stop bits": a positive speed in decimal digits, one of the letters n p i m e in
//   either case, 5 to 8 data bits, 1 or 2 stop bits, blanks around each part allowed) and gives
//   the same line;
// - a refusal quotes the whole string and names the first part that is wrong;
// - accepted settings written back in their plain form parse to the same line.
#include "FuzzSupport.h"

#include "base/ControlError.h"
#include "base/SingleByteCodec.h"
#include "serial/LineSettings.h"

#include <QStringList>

#include <cstdint>
#include <optional>

namespace {

// A whole number in up to nine decimal digits (no speed, nor anything else here, needs more).
std::optional<qint64> plainNumber(const QString& text)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c.unicode() < '0' || c.unicode() > '9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

struct Expected {
    std::optional<LineSettings> line;
    QString wrongPart; // words the refusal must contain
};

Expected readPlainly(const QString& settings)
{
    const QStringList parts = settings.split(u',');
    if (parts.size() != 4)
        return {std::nullopt, QStringLiteral("cuatro partes")};

    LineSettings line;
    const auto speed = plainNumber(parts[0].trimmed());
    if (!speed || *speed < 1)
        return {std::nullopt, QStringLiteral("la velocidad")};
    line.baudRate = qint32(*speed);

    const QString parity = parts[1].trimmed();
    const QString letters = QStringLiteral("nNpPiImMeE");
    const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::EvenParity,
                                            QSerialPort::OddParity, QSerialPort::MarkParity,
                                            QSerialPort::SpaceParity};
    if (parity.size() != 1 || !letters.contains(parity[0]))
        return {std::nullopt, QStringLiteral("la paridad")};
    line.parity = parities[letters.indexOf(parity[0]) / 2];

    const auto data = plainNumber(parts[2].trimmed());
    if (!data || *data < 5 || *data > 8)
        return {std::nullopt, QStringLiteral("los bits de datos")};
    line.dataBits = QSerialPort::DataBits(*data);

    const auto stop = plainNumber(parts[3].trimmed());
    if (!stop || *stop < 1 || *stop > 2)
        return {std::nullopt, QStringLiteral("los bits de parada")};
    line.stopBits = *stop == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop;
    return {line, {}};
}

QString plainForm(const LineSettings& line)
{
    const char* letters = "npime";
    int parity = 0;
    switch (line.parity) {
    case QSerialPort::EvenParity:
        parity = 1;
        break;
    case QSerialPort::OddParity:
        parity = 2;
        break;
    case QSerialPort::MarkParity:
        parity = 3;
        break;
    case QSerialPort::SpaceParity:
        parity = 4;
        break;
    default:
        break;
    }
    return QStringLiteral("%1,%2,%3,%4")
        .arg(line.baudRate)
        .arg(QChar::fromLatin1(letters[parity]))
        .arg(int(line.dataBits))
        .arg(line.stopBits == QSerialPort::TwoStop ? 2 : 1);
}

QString show(const LineSettings& line)
{
    return QStringLiteral("%1 parity %2 data %3 stop %4")
        .arg(line.baudRate)
        .arg(int(line.parity))
        .arg(int(line.dataBits))
        .arg(int(line.stopBits));
}

bool sameLine(const LineSettings& a, const LineSettings& b)
{
    return a.baudRate == b.baudRate && a.parity == b.parity && a.dataBits == b.dataBits &&
           a.stopBits == b.stopBits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte says how the rest is text: as typed in the window (the code page), as
    // UTF-8, or as raw UTF-16 (any character, lone surrogates included).
    const QByteArray rest(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    QString settings;
    switch (data[0] % 3) {
    case 0:
        settings = SingleByteCodec::toText(rest);
        break;
    case 1:
        settings = QString::fromUtf8(rest);
        break;
    default:
        settings = QString(reinterpret_cast<const QChar*>(rest.constData()), rest.size() / 2);
        break;
    }

    const Expected expected = readPlainly(settings);
    std::optional<LineSettings> parsed;
    QString refusal;
    try {
        parsed = LineSettings::parse(settings);
    } catch (const ControlError& e) {
        refusal = e.description();
    }

    if (expected.line) {
        if (!parsed)
            FUZZ_FAIL("settings of the documented form, yet refused", refusal);
        if (!sameLine(*parsed, *expected.line))
            FUZZ_CHECK_EQUAL(show(*parsed), show(*expected.line));
        const LineSettings again = LineSettings::parse(plainForm(*parsed));
        if (!sameLine(again, *parsed))
            FUZZ_CHECK_EQUAL(show(again), show(*parsed));
        return 0;
    }
    if (parsed)
        FUZZ_FAIL("settings not of the documented form, yet accepted",
                  show(*parsed) + QStringLiteral("; wrong: ") + expected.wrongPart);
    FUZZ_CHECK(refusal.contains(QStringLiteral("«") + settings + QStringLiteral("»")));
    if (!refusal.contains(expected.wrongPart))
        FUZZ_CHECK_EQUAL(refusal, expected.wrongPart);
    return 0;
}
