#include "views/FindPattern.h"

#include "base/SingleByteCodec.h"

namespace FindPattern {

namespace {

int hexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

Parsed parseHex(const QString& field)
{
    Parsed parsed;
    int high = -1;
    for (const QChar c : field) {
        if (c.isSpace()) {
            if (high >= 0)
                return {{}, QStringLiteral("Cada byte lleva dos cifras hexadecimales")};
            continue;
        }
        const int digit = hexDigit(c);
        if (digit < 0)
            return {{}, QStringLiteral("«%1» no es una cifra hexadecimal").arg(c)};
        if (high < 0) {
            high = digit;
        } else {
            parsed.bytes.append(char(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0)
        return {{}, QStringLiteral("Cada byte lleva dos cifras hexadecimales")};
    return parsed;
}

Parsed parseEscapes(const QString& field)
{
    Parsed parsed;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != u'\\') {
            parsed.bytes.append(SingleByteCodec::toByte(field[i].unicode()));
            continue;
        }
        if (++i == field.size())
            return {{}, QStringLiteral("Falta qué sigue a «\\» al final")};
        switch (field[i].unicode()) {
        case u'r':
            parsed.bytes.append('\r');
            break;
        case u'n':
            parsed.bytes.append('\n');
            break;
        case u't':
            parsed.bytes.append('\t');
            break;
        case u'0':
            parsed.bytes.append('\0');
            break;
        case u'\\':
            parsed.bytes.append('\\');
            break;
        case u'x': {
            const int high = i + 1 < field.size() ? hexDigit(field[i + 1]) : -1;
            const int low = i + 2 < field.size() ? hexDigit(field[i + 2]) : -1;
            if (high < 0 || low < 0)
                return {{}, QStringLiteral("«\\x» lleva dos cifras hexadecimales")};
            parsed.bytes.append(char(high << 4 | low));
            i += 2;
            break;
        }
        default:
            return {{},
                    QStringLiteral("«\\%1» no es un escape conocido (\\r, \\n, \\t, \\0, "
                                   "\\\\, \\xHH)")
                        .arg(field[i])};
        }
    }
    return parsed;
}

} // namespace

Parsed parse(const QString& field, Mode mode)
{
    switch (mode) {
    case Mode::Hex:
        return parseHex(field);
    case Mode::Escapes:
        return parseEscapes(field);
    case Mode::Text:
        break;
    }
    return {SingleByteCodec::toBytes(field), {}};
}

} // namespace FindPattern
