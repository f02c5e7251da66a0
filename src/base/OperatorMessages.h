#pragma once

#include <QString>

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
