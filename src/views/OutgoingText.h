#pragma once

#include <QChar>
#include <QString>
#include <QStringView>

class QLineEdit;

// What an outgoing box shows and what it sends. A control character composed with "Chr" is
// shown as its control picture (STX as ␂, CR as ␍, DEL as ␡), the same symbols the log panes
// draw, so that the operator sees the whole frame before it goes; the send handlers read the
// box through textToSend, which gives each picture back as its control character.
//
// A picture the operator types or pastes is read the same way. It has no byte in the code page
// (it would go out as "?"), so its control character is the only thing it can stand for.
// Control characters that reach a box as themselves (pasted, or set by a program) are sent
// unchanged. The five byte values the code page leaves unassigned have no picture: they stay
// as themselves.
namespace OutgoingText {

// How a box shows a character to be sent: a C0 control or DEL as its picture, anything else
// as itself.
QChar shownAs(QChar sent);

// The text to send for what a box shows.
QString toSend(QStringView shown);

// The text a box sends: how the send handlers read their box.
QString textToSend(const QLineEdit& box);

} // namespace OutgoingText
