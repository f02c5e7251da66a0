#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QChar>
#include <QString>
#include <QStringView>

// The one code page of every link: Windows-1252, with its five unassigned byte values (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) taken as the control characters of the same value, so that all 256
// byte values round-trip: byte b -> character -> byte b.
//
// Hand-made rather than QStringEncoder("windows-1252"): that one goes through ICU, turns an
// unmappable character into 0x1A instead of the usual "?", and costs a call per chunk on the
// receive path, where received text stays in its byte form anyway.
namespace SingleByteCodec {

// The character a byte stands for.
QChar toChar(unsigned char byte);

// The byte a character is sent as; '?' for a character with no single-byte form.
char toByte(char32_t codePoint);

// Whole texts. A character outside the code page (a pasted "ł", an emoji) becomes one "?".
QString toText(QByteArrayView bytes);
QByteArray toBytes(QStringView text);

} // namespace SingleByteCodec
