#pragma once

#include "serial/SerialPortNumbering.h"

#include <QObject>

class QWidget;

// The hover hint of the port number field: which serial ports are present, with their
// numbers, at the moment the hint is about to show (adapters come and go while the window is
// open). It lives as long as the field it serves.
class SerialPortHint : public QObject {
    Q_OBJECT

public:
    SerialPortHint(SerialPortNumbering numbering, QWidget& field);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    SerialPortNumbering m_numbering;
    QWidget& m_field;
};
