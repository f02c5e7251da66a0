#pragma once

#include <QString>

#include <functional>

class OperatorMessages;

// The text every caught failure is shown with: "Error : " and the description.
QString errorMessageText(const QString& description);

// The one place an untrapped handler's failure ends up: whatever it throws is told to the
// operator ("Error : " + description, critical icon) and the window goes on. Nothing thrown
// by a handler ever reaches Qt's event loop, and nothing is swallowed silently.
void runHandler(OperatorMessages& messages, const std::function<void()>& handler);
