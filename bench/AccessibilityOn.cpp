#include "Scenarios.h"

#include <QAccessible>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

namespace {

qint64 g_updates = 0;
qint64 g_characters = 0;

QPlatformAccessibility* platformAccessibility()
{
    QPlatformIntegration* integration = QGuiApplicationPrivate::platformIntegration();
    return integration ? integration->accessibility() : nullptr;
}

// What a bridge to assistive technology does with an update at least: takes its interface
// (done by Qt before it calls this) and the text it carries.
void listen(QAccessibleEvent* event)
{
    ++g_updates;
    if (event->type() == QAccessible::TextInserted)
        g_characters += static_cast<QAccessibleTextInsertEvent*>(event)->textInserted().size();
}

} // namespace

AccessibilityOn::AccessibilityOn()
{
    g_updates = g_characters = 0;
    QAccessible::installUpdateHandler(listen);
    if (QPlatformAccessibility* accessibility = platformAccessibility())
        accessibility->setActive(true);
}

AccessibilityOn::~AccessibilityOn()
{
    if (QPlatformAccessibility* accessibility = platformAccessibility())
        accessibility->setActive(false);
    QAccessible::installUpdateHandler(nullptr);
}

bool AccessibilityOn::active() const
{
    return QAccessible::isActive();
}

qint64 AccessibilityOn::updates() const
{
    return g_updates;
}

qint64 AccessibilityOn::characters() const
{
    return g_characters;
}
