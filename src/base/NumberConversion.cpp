#include "base/NumberConversion.h"

#include "base/ControlError.h"
#include "base/DecimalDigits.h"

#include <limits>

namespace {

QStringView requireText(QStringView text, QStringView fieldName)
{
    const QStringView trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        throw ControlError(
            QStringLiteral("El campo %1 está vacío: escriba un número.").arg(quoted(fieldName)));
    }
    return trimmed;
}

[[noreturn]] void notANumber(QStringView text, QStringView fieldName)
{
    throw ControlError(QStringLiteral("El campo %1 no contiene un número: %2.")
                           .arg(quoted(fieldName), quoted(text)));
}

// Whole numbers in decimal, with optional surrounding blanks and sign.
template <typename Int> Int toInteger(QStringView text, QStringView fieldName)
{
    const QStringView number = requireText(text, fieldName);
    const DecimalReading reading = readDecimal(number, {.sign = true});
    if (reading.outcome == DecimalReading::NotDigits)
        notANumber(number, fieldName);
    const std::int64_t value = reading.value;
    if (!reading.isNumber() || value < std::numeric_limits<Int>::min() ||
        value > std::numeric_limits<Int>::max()) {
        throw ControlError(QStringLiteral("El número %1 del campo %2 está fuera de rango.")
                               .arg(number.toString(), quoted(fieldName)));
    }
    return static_cast<Int>(value);
}

} // namespace

std::int16_t toInt16(QStringView text, QStringView fieldName)
{
    return toInteger<std::int16_t>(text, fieldName);
}

std::int32_t toInt32(QStringView text, QStringView fieldName)
{
    return toInteger<std::int32_t>(text, fieldName);
}

double toDouble(QStringView text, QStringView fieldName)
{
    const QStringView number = requireText(text, fieldName);
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok)
        notANumber(number, fieldName);
    return value;
}
