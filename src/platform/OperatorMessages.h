#pragma once

#include <QString>

class QWidget;

// The three looks a message can have.
enum class MessageIcon { Critical, Exclamation, None };

// How handlers talk to the operator: a modal message with one OK button, which returns when
// the operator has dismissed it. The window's own messages go through here and nowhere else,
// so tests can record them instead of clicking them away.
class OperatorMessages {
public:
    virtual ~OperatorMessages() = default;
    virtual void show(const QString& text, MessageIcon icon) = 0;
};

// The real one: QMessageBox over the window, titled with the application name.
class MessageBoxMessages final : public OperatorMessages {
public:
    explicit MessageBoxMessages(QWidget* parent = nullptr);
    void show(const QString& text, MessageIcon icon) override;

private:
    QWidget* m_parent;
};
