#include "support/ScreenReader.h"

#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

namespace {

std::vector<ScreenReader::Heard> g_heard;

QPlatformAccessibility* platformAccessibility()
{
    QPlatformIntegration* integration = QGuiApplicationPrivate::platformIntegration();
    return integration ? integration->accessibility() : nullptr;
}

void hear(QAccessibleEvent* event)
{
    ScreenReader::Heard heard;
    heard.object = event->object();
    heard.type = event->type();
    if (event->type() == QAccessible::TextInserted) {
        const auto* inserted = static_cast<QAccessibleTextInsertEvent*>(event);
        heard.position = inserted->changePosition();
        heard.text = inserted->textInserted();
    } else if (event->type() == QAccessible::TableModelChanged) {
        heard.lastRow = static_cast<QAccessibleTableModelChangeEvent*>(event)->lastRow();
    }
    g_heard.push_back(heard);
}

} // namespace

ScreenReader::ScreenReader()
{
    g_heard.clear();
    QAccessible::installUpdateHandler(hear);
    if (QPlatformAccessibility* accessibility = platformAccessibility())
        accessibility->setActive(true);
}

ScreenReader::~ScreenReader()
{
    if (QPlatformAccessibility* accessibility = platformAccessibility())
        accessibility->setActive(false);
    QAccessible::installUpdateHandler(nullptr);
    g_heard.clear();
}

bool ScreenReader::available()
{
    return platformAccessibility() != nullptr;
}

std::vector<ScreenReader::Heard> ScreenReader::heardFrom(const QObject* object,
                                                         QAccessible::Event type) const
{
    std::vector<Heard> heard;
    for (const Heard& event : g_heard) {
        if (event.object == object && event.type == type)
            heard.push_back(event);
    }
    return heard;
}
