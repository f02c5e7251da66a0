#include "platform/FailureDispatch.h"

#include "platform/ControlError.h"
#include "platform/OperatorMessages.h"

#include <exception>
#include <new>

QString errorMessageText(const QString& description)
{
    return QStringLiteral("Error : ") + description;
}

void runHandler(OperatorMessages& messages, const std::function<void()>& handler)
{
    QString description;
    try {
        handler();
        return;
    } catch (const ControlError& e) {
        description = e.description();
    } catch (const std::bad_alloc&) {
        description = QStringLiteral("No queda memoria para completar la operación.");
    } catch (const std::exception& e) {
        description = QString::fromUtf8(e.what());
    } catch (...) {
        description = QStringLiteral("Falla desconocida.");
    }
    // Shown outside the catch block: the message box runs a nested event loop, and other
    // handlers may run (and throw) inside it.
    messages.show(errorMessageText(description), MessageIcon::Critical);
}
