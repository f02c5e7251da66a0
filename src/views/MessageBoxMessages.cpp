#include "views/MessageBoxMessages.h"

#include <QCoreApplication>
#include <QMessageBox>

MessageBoxMessages::MessageBoxMessages(QWidget* parent)
    : m_parent(parent)
{
}

void MessageBoxMessages::show(const QString& text, MessageIcon icon)
{
    QMessageBox::Icon look = QMessageBox::NoIcon;
    switch (icon) {
    case MessageIcon::Critical:
        look = QMessageBox::Critical;
        break;
    case MessageIcon::Exclamation:
        look = QMessageBox::Warning;
        break;
    case MessageIcon::None:
        break;
    }
    QMessageBox box(look, QCoreApplication::applicationName(), text, QMessageBox::Ok, m_parent);
    box.exec();
}
