#include "base/FailureDispatch.h"

#include "base/ControlError.h"
#include "base/OperatorMessages.h"

#include <exception>
#include <new>

QString errorMessageText(const QString& description)
{
    return QStringLiteral("Error : ") + description;
}

std::optional<QString> trapFailure(const std::function<void()>& body)
{
    try {
        body();
        return std::nullopt;
    } catch (const ControlError& e) {
        return e.description();
    } catch (const std::bad_alloc&) {
        return QStringLiteral("No queda memoria para completar la operación.");
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Falla desconocida.");
    }
}

void runHandler(OperatorMessages& messages, const std::function<void()>& handler)
{
    // Shown only once the failure has been caught: the message box runs a nested event loop,
    // and other handlers may run (and fail) inside it.
    if (const auto failure = trapFailure(handler))
        messages.show(errorMessageText(*failure), MessageIcon::Critical);
}
