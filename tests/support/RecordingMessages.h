#pragma once

#include "base/OperatorMessages.h"

#include <QString>

#include <functional>
#include <vector>

// Operator messages that are recorded instead of shown, in order.
class RecordingMessages final : public OperatorMessages {
public:
    struct Shown {
        QString text;
        MessageIcon icon;
        bool operator==(const Shown&) const = default;
    };

    void show(const QString& text, MessageIcon icon) override;

    std::vector<Shown> shown;
    // Runs while the message is "on screen", as code inside a modal box would.
    std::function<void(const Shown&)> whileShown;
};

// For QCOMPARE output.
char* toString(const RecordingMessages::Shown& shown);
