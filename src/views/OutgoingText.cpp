#include "views/OutgoingText.h"

#include <QLineEdit>

namespace {

// The Unicode control pictures: U+2400 + code for the C0 controls, U+2421 for DEL.
constexpr char16_t kFirstPicture = 0x2400;
constexpr char16_t kDeletePicture = 0x2421;
constexpr char16_t kDelete = 0x7F;

} // namespace

namespace OutgoingText {

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

QString textToSend(const QLineEdit& box)
{
    return toSend(box.text());
}

} // namespace OutgoingText
