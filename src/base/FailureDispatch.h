#pragma once

#include <QString>

#include <functional>
#include <optional>

class OperatorMessages;

// The text every caught failure is shown with: "Error : " and the description.
QString errorMessageText(const QString& description);

// An error trap: runs body and, if anything in it fails, returns the failure's description
// (the rest of body is skipped). Nothing is shown here: each trap decides what follows.
std::optional<QString> trapFailure(const std::function<void()>& body);

// The one place an untrapped handler's failure ends up: whatever it throws is told to the
// operator ("Error : " + description, critical icon) and the window goes on. Nothing thrown
// by a handler ever reaches Qt's event loop, and nothing is swallowed silently.
void runHandler(OperatorMessages& messages, const std::function<void()>& handler);
