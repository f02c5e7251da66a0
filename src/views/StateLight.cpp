#include "views/StateLight.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>

namespace {

QColor lampColor(StateLight::Lamp lamp)
{
    switch (lamp) {
    case StateLight::Lamp::Amber:
        return QColor(0xF0, 0xA0, 0x00);
    case StateLight::Lamp::Green:
        return QColor(0x1E, 0xA0, 0x3C);
    case StateLight::Lamp::Red:
        return QColor(0xE0, 0x20, 0x20);
    case StateLight::Lamp::Off:
        break;
    }
    return QColor(0xB4, 0xB4, 0xB4);
}

// Read by assistive technology as a status indicator named by the window ("Estado del
// servidor"), described by what the lamp says now.
class StateLightAccessible : public QAccessibleWidget {
public:
    explicit StateLightAccessible(StateLight* light)
        : QAccessibleWidget(light, QAccessible::StatusBar)
    {
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Description || t == QAccessible::Value)
            return static_cast<StateLight*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* stateLightFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("StateLight") && object && object->isWidgetType())
        return new StateLightAccessible(static_cast<StateLight*>(object));
    return nullptr;
}

} // namespace

StateLight::StateLight(QWidget* parent)
    : QWidget(parent)
    , m_stateText(QStringLiteral("Cerrado"))
{
    installStateLightAccessibility();
    setFocusPolicy(Qt::NoFocus);
    setToolTip(m_stateText);
    m_failure.setSingleShot(true);
    m_failure.setInterval(kFailureMs);
    connect(&m_failure, &QTimer::timeout, this, [this] { display(m_stateLamp, m_stateText); });
}

void StateLight::setState(Lamp lamp, const QString& text)
{
    m_stateLamp = lamp;
    m_stateText = text;
    if (!m_failure.isActive())
        display(lamp, text);
}

void StateLight::showFailure(const QString& text)
{
    m_failure.start();
    display(Lamp::Red, text);
}

void StateLight::display(Lamp lamp, const QString& text)
{
    if (lamp == m_lamp && text == toolTip())
        return;
    m_lamp = lamp;
    setToolTip(text);
    update();
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

QSize StateLight::sizeHint() const
{
    // About a capital letter of the caption beside it, with room for the border to stop.
    const int side = fontMetrics().capHeight() + 4;
    return {side, side};
}

void StateLight::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // The lamp stands on the frame's border, as the caption does: the border stops around it.
    painter.fillRect(rect(), palette().window());
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor color = lampColor(m_lamp);
    painter.setPen(QPen(color.darker(160), 1));
    painter.setBrush(color);
    const qreal side = std::min(width(), height()) - 3;
    painter.drawEllipse(QRectF((width() - side) / 2, (height() - side) / 2, side, side));
}

void installStateLightAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(stateLightFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
