#pragma once

#include "base/OperatorMessages.h"

class QWidget;

// The real one: QMessageBox over the window, titled with the application name.
class MessageBoxMessages final : public OperatorMessages {
public:
    explicit MessageBoxMessages(QWidget* parent = nullptr);
    void show(const QString& text, MessageIcon icon) override;

private:
    QWidget* m_parent;
};
