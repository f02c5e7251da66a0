#include "platform/MaskedField.h"

#include <QLineEdit>

void makeMaskedField(QLineEdit& field, QStringView mask, int maxLength)
{
    if (mask.isEmpty()) {
        field.setInputMask(QString());
        field.setMaxLength(maxLength);
        return;
    }
    // Qt's "9" is a digit that may be left blank; "#" in Qt would also take a sign.
    QString qtMask(mask.size(), u'9');
    field.setInputMask(qtMask + QStringLiteral(";_"));
    field.setMaxLength(maxLength);
}
