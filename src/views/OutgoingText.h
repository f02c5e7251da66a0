#pragma once

#include "base/OperatorMessages.h"

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringView>

#include <optional>

class QLineEdit;

// What an outgoing box shows and what it sends.
//
// A box is read in one of three modes, its format, chosen by the operator in its context menu:
// as text (the design's way), with escape sequences (\r \n \t \0 \\ \xHH), or as pairs of
// hexadecimal digits ("48 49 00 FF"). Every send from the box ends with the line end chosen
// for it (none, CR, LF or CR LF). A box whose format was never chosen reads as text with no
// line end, exactly as the design sends.
//
// A control character composed with "Chr" is shown as its control picture (STX as ␂, CR as ␍,
// DEL as ␡), the same symbols the log panes draw, so that the operator sees the whole frame
// before it goes; reading the box gives each picture back as its control character, in text
// and escape modes alike. A picture the operator types or pastes is read the same way: it has
// no byte in the code page, so its control character is the only thing it can stand for.
// Control characters that reach a box as themselves (pasted, or set by a program) are sent
// unchanged. The five byte values the code page leaves unassigned have no picture.
//
// What it deliberately does not do: convert a box's text when its mode changes. The mode says
// how the text is read; the text stays as the operator typed it.
namespace OutgoingText {

enum class Mode { Text, Escapes, Hexadecimal };
enum class LineEnd { None, CR, LF, CRLF };

struct Format {
    Mode mode = Mode::Text;
    LineEnd lineEnd = LineEnd::None;
    bool operator==(const Format&) const = default;
};

// A box's format, kept on the box itself for as long as the window lives.
Format formatOf(const QLineEdit& box);
void setFormat(QLineEdit& box, Format format);
// What the box's hover text says of its format: "Se envía como texto, sin fin de línea."
QString describe(Format format);

// The bytes a text stands for in a mode, or where and why it cannot be read that way; the
// reason names the text as subject says (the find bar reads its field the same way).
struct Reading {
    QByteArray bytes;
    // The unreadable part: its first character (0 for the first) and length, and what is
    // wrong, in the operator's words. Empty when the text was read.
    qsizetype errorAt = -1;
    qsizetype errorLength = 0;
    QString error;
    // The same without the subject and where, for a place that shows where by other means.
    QString reason;
    bool ok() const { return errorAt < 0; }
};
Reading read(QStringView shown, Mode mode, QStringView subject = u"El texto a enviar");
QByteArray lineEndBytes(LineEnd lineEnd);

// How a box shows a character to be sent, in text mode: a C0 control or DEL as its picture,
// anything else as itself.
QChar shownAs(QChar sent);
// The text to send for what a box in text mode shows.
QString toSend(QStringView shown);

// The box's text after "Chr" appended the byte, as the box's mode writes it: a character (a
// control as its picture) in text mode; the character or its escape (\r, \x02, \\) with
// escapes; two hexadecimal digits in hexadecimal, set apart by a space from what was there.
QString withByte(const QString& shown, unsigned char byte, Mode mode);

// What a send handler sends from a box: its text read in its mode, then its line end. A box
// that cannot be read is refused visibly: the unreadable part is selected in the box, which
// takes the focus, and the operator is told "Error : " and where it is, with the given icon
// (the one the send's own refusal uses). The box keeps its text. Empty then.
std::optional<QString> textToSend(QLineEdit& box, OperatorMessages& messages, MessageIcon icon);

} // namespace OutgoingText
