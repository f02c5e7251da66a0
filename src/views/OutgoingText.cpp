#include "views/OutgoingText.h"

#include "base/FailureDispatch.h"
#include "base/SingleByteCodec.h"

#include <QLineEdit>
#include <QVariant>

#include <algorithm>

namespace {

// The Unicode control pictures: U+2400 + code for the C0 controls, U+2421 for DEL.
constexpr char16_t kFirstPicture = 0x2400;
constexpr char16_t kDeletePicture = 0x2421;
constexpr char16_t kDelete = 0x7F;

constexpr char kModeProperty[] = "outgoingMode";
constexpr char kLineEndProperty[] = "outgoingLineEnd";

int hexValue(QChar c)
{
    const char16_t code = c.unicode();
    if (code >= u'0' && code <= u'9')
        return code - u'0';
    if (code >= u'a' && code <= u'f')
        return code - u'a' + 10;
    if (code >= u'A' && code <= u'F')
        return code - u'A' + 10;
    return -1;
}

QString hexDigits(unsigned char byte)
{
    return QStringLiteral("%1").arg(uint(byte), 2, 16, QChar(u'0')).toUpper();
}

// How the operator is told where: positions count from 1, as people count characters.
QString at(qsizetype index)
{
    return QStringLiteral("en la posición %1").arg(index + 1);
}

// Told as lead, where, separator and the reason itself.
OutgoingText::Reading refused(qsizetype index, qsizetype length, const QString& lead,
                              QStringView separator, QString reason)
{
    OutgoingText::Reading reading;
    reading.errorAt = index;
    reading.errorLength = length;
    reading.error = lead + at(index);
    reading.error.append(separator).append(reason);
    reading.reason = std::move(reason);
    return reading;
}

// Pairs of digits; spaces set pairs apart but never split one, so "1 2" (two bytes meant, or
// one?) is refused rather than guessed.
OutgoingText::Reading readHexadecimal(QStringView shown, QStringView subject)
{
    const QString kWhat = subject.toString() + QStringLiteral(" no se puede leer en hexadecimal: ");
    OutgoingText::Reading reading;
    reading.bytes.reserve(shown.size() / 2);
    qsizetype i = 0;
    while (i < shown.size()) {
        if (shown[i].isSpace()) {
            ++i;
            continue;
        }
        const int high = hexValue(shown[i]);
        if (high < 0) {
            return refused(
                i, 1, kWhat, u", ",
                QStringLiteral("«%1» no es un dígito hexadecimal (0-9, A-F).").arg(shown[i]));
        }
        if (i + 1 >= shown.size() || shown[i + 1].isSpace()) {
            return refused(i, 1, kWhat, u", ",
                           QStringLiteral("«%1» es un dígito suelto: cada byte se escribe con "
                                          "dos dígitos (0%1).")
                               .arg(shown[i]));
        }
        const int low = hexValue(shown[i + 1]);
        if (low < 0) {
            return refused(
                i + 1, 1, kWhat, u", ",
                QStringLiteral("«%1» no es un dígito hexadecimal (0-9, A-F).").arg(shown[i + 1]));
        }
        reading.bytes.append(char(high << 4 | low));
        i += 2;
    }
    return reading;
}

OutgoingText::Reading readEscapes(QStringView shown, QStringView subject)
{
    const QString kWhat =
        subject.toString() + QStringLiteral(" tiene una secuencia de escape no válida ");
    const QString kKnown = QStringLiteral(" Se admiten \\r, \\n, \\t, \\0, \\\\ y \\xHH (dos "
                                          "dígitos hexadecimales).");
    OutgoingText::Reading reading;
    reading.bytes.reserve(shown.size());
    qsizetype literalFrom = 0;
    const auto takeLiteral = [&](qsizetype to) {
        reading.bytes.append(SingleByteCodec::toBytes(
            OutgoingText::toSend(shown.sliced(literalFrom, to - literalFrom))));
    };
    qsizetype i = 0;
    while (i < shown.size()) {
        if (shown[i] != u'\\') {
            ++i;
            continue;
        }
        takeLiteral(i);
        if (i + 1 >= shown.size()) {
            return refused(i, 1, kWhat, u": ",
                           QStringLiteral("«\\» al final no escapa nada; una barra se escribe "
                                          "\\\\."));
        }
        const QChar next = shown[i + 1];
        qsizetype length = 2;
        switch (next.unicode()) {
        case u'r':
            reading.bytes.append('\r');
            break;
        case u'n':
            reading.bytes.append('\n');
            break;
        case u't':
            reading.bytes.append('\t');
            break;
        case u'0':
            reading.bytes.append('\0');
            break;
        case u'\\':
            reading.bytes.append('\\');
            break;
        case u'x': {
            const int high = i + 2 < shown.size() ? hexValue(shown[i + 2]) : -1;
            const int low = i + 3 < shown.size() ? hexValue(shown[i + 3]) : -1;
            if (high < 0 || low < 0) {
                // What was typed of it, up to the first character that is no digit.
                const qsizetype got = std::min(shown.size(), i + (high < 0 ? 3 : 4)) - i;
                return refused(i, got, kWhat, u": ",
                               QStringLiteral("«%1» necesita dos dígitos hexadecimales (por "
                                              "ejemplo \\x0D).")
                                   .arg(shown.sliced(i, got)));
            }
            reading.bytes.append(char(high << 4 | low));
            length = 4;
            break;
        }
        default:
            return refused(i, 2, kWhat, u": ", QStringLiteral("«\\%1».").arg(next) + kKnown);
        }
        i += length;
        literalFrom = i;
    }
    takeLiteral(shown.size());
    return reading;
}

} // namespace

namespace OutgoingText {

Format formatOf(const QLineEdit& box)
{
    return {Mode(box.property(kModeProperty).toInt()),
            LineEnd(box.property(kLineEndProperty).toInt())};
}

void setFormat(QLineEdit& box, Format format)
{
    box.setProperty(kModeProperty, int(format.mode));
    box.setProperty(kLineEndProperty, int(format.lineEnd));
    box.setToolTip(describe(format));
    box.setAccessibleDescription(describe(format));
    // A box the operator set to read otherwise says so while it is empty, too.
    static const QString kModeNames[] = {QStringLiteral("Texto"),
                                         QStringLiteral("Secuencias de escape"),
                                         QStringLiteral("Hexadecimal")};
    static const QString kLineEndNames[] = {QString(), QStringLiteral("CR"), QStringLiteral("LF"),
                                            QStringLiteral("CR+LF")};
    QString placeholder;
    if (format != Format()) {
        placeholder = kModeNames[int(format.mode)];
        if (format.lineEnd != LineEnd::None)
            placeholder += QStringLiteral(", fin de línea ") + kLineEndNames[int(format.lineEnd)];
    }
    box.setPlaceholderText(placeholder);
}

QString describe(Format format)
{
    static const QString kModes[] = {
        QStringLiteral("Se envía como texto"),
        QStringLiteral("Se envía con secuencias de escape (\\r \\n \\t \\0 \\\\ \\xHH)"),
        QStringLiteral("Se envía en hexadecimal (pares de dígitos: 48 49 0D)"),
    };
    static const QString kLineEnds[] = {
        QStringLiteral(", sin fin de línea."),
        QStringLiteral(", con CR al final."),
        QStringLiteral(", con LF al final."),
        QStringLiteral(", con CR+LF al final."),
    };
    return kModes[int(format.mode)] + kLineEnds[int(format.lineEnd)] +
           QStringLiteral(" Cámbielo en el menú contextual.");
}

Reading read(QStringView shown, Mode mode, QStringView subject)
{
    switch (mode) {
    case Mode::Escapes:
        return readEscapes(shown, subject);
    case Mode::Hexadecimal:
        return readHexadecimal(shown, subject);
    case Mode::Text:
        break;
    }
    Reading reading;
    reading.bytes = SingleByteCodec::toBytes(toSend(shown));
    return reading;
}

QByteArray lineEndBytes(LineEnd lineEnd)
{
    switch (lineEnd) {
    case LineEnd::CR:
        return QByteArrayLiteral("\r");
    case LineEnd::LF:
        return QByteArrayLiteral("\n");
    case LineEnd::CRLF:
        return QByteArrayLiteral("\r\n");
    case LineEnd::None:
        break;
    }
    return {};
}

QChar shownAs(QChar sent)
{
    const char16_t code = sent.unicode();
    if (code < 0x20)
        return QChar(char16_t(kFirstPicture + code));
    if (code == kDelete)
        return QChar(kDeletePicture);
    return sent;
}

QString toSend(QStringView shown)
{
    QString text = shown.toString();
    for (QChar& c : text) {
        const char16_t code = c.unicode();
        if (code >= kFirstPicture && code < kFirstPicture + 0x20)
            c = QChar(char16_t(code - kFirstPicture));
        else if (code == kDeletePicture)
            c = QChar(kDelete);
    }
    return text;
}

QString withByte(const QString& shown, unsigned char byte, Mode mode)
{
    const QChar character = SingleByteCodec::toChar(byte);
    switch (mode) {
    case Mode::Text:
        return shown + shownAs(character);
    case Mode::Escapes:
        switch (byte) {
        case '\r':
            return shown + QStringLiteral("\\r");
        case '\n':
            return shown + QStringLiteral("\\n");
        case '\t':
            return shown + QStringLiteral("\\t");
        case '\0':
            return shown + QStringLiteral("\\0");
        case '\\':
            return shown + QStringLiteral("\\\\");
        default:
            break;
        }
        // Controls, DEL and the unassigned values, which show as nothing of their own.
        if (character.category() == QChar::Other_Control)
            return shown + QStringLiteral("\\x") + hexDigits(byte);
        return shown + character;
    case Mode::Hexadecimal:
        break;
    }
    const bool apart = shown.isEmpty() || shown.back().isSpace();
    return shown + (apart ? QString() : QStringLiteral(" ")) + hexDigits(byte);
}

std::optional<QString> textToSend(QLineEdit& box, OperatorMessages& messages, MessageIcon icon)
{
    const Format format = formatOf(box);
    const Reading reading = read(box.text(), format.mode);
    if (!reading.ok()) {
        box.setFocus();
        box.setSelection(int(reading.errorAt), int(reading.errorLength));
        messages.show(errorMessageText(reading.error), icon);
        return std::nullopt;
    }
    return SingleByteCodec::toText(reading.bytes + lineEndBytes(format.lineEnd));
}

} // namespace OutgoingText
