#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>

// The text-to-number conversions handlers apply to the masked fields. Each is told the name the
// operator knows the field by, so a refusal says which field was wrong: an empty field, text
// that is not a number, or a number too large for its width, is a ControlError.
std::int16_t toInt16(QStringView text, QStringView fieldName);
std::int32_t toInt32(QStringView text, QStringView fieldName);
double toDouble(QStringView text, QStringView fieldName);
