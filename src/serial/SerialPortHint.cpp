#include "serial/SerialPortHint.h"

#include <QEvent>
#include <QWidget>

#include <utility>

SerialPortHint::SerialPortHint(SerialPortNumbering numbering, QWidget& field)
    : QObject(&field)
    , m_numbering(std::move(numbering))
    , m_field(field)
{
    m_field.installEventFilter(this);
}

bool SerialPortHint::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_field && event->type() == QEvent::ToolTip)
        m_field.setToolTip(m_numbering.hint(SerialPortNumbering::systemPorts()));
    return false; // the field shows the hint as usual
}
