#pragma once

#include <QByteArray>
#include <QString>

// What the find bar looks for, as bytes. The operator chooses how the field reads:
//   Text     — the characters in the links' code page, as typed;
//   Hex      — bytes in hexadecimal, two digits each, spaces optional ("02 41 03", "024103");
//   Escapes  — text in which \r, \n, \t, \0, \\ and \xHH stand for those bytes.
// A field that does not read as its mode says (an odd hex digit, "\q") gives no bytes and a
// reason in Spanish, so the bar can say what is wrong instead of searching for nothing.
namespace FindPattern {

enum class Mode { Text, Hex, Escapes };

struct Parsed {
    QByteArray bytes;
    QString error;
};

Parsed parse(const QString& field, Mode mode);

} // namespace FindPattern
