#include "app/EnterKey.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>

void clickOnEnter(QLineEdit& field, QAbstractButton& button)
{
    QObject::connect(&field, &QLineEdit::returnPressed, &button, [&button] {
        if (button.isEnabled())
            button.click();
        else
            QApplication::beep();
    });
}
