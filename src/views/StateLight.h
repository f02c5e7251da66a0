#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

// A small lamp beside a frame's caption that tells what the frame's link is doing: off
// (closed), amber (listening, connecting), green (connected, open), and red for a moment
// after a failure or a loss. Its hover text says the same in words; assistive technology reads
// that text as the lamp's description, and each change is announced to it.
//
// It knows no link and decides nothing: whoever watches the link tells it what to show. It
// takes no focus and no clicks.
class StateLight : public QWidget {
    Q_OBJECT

public:
    enum class Lamp { Off, Amber, Green, Red };
    // How long a failure stays on before the link's state shows again.
    static constexpr int kFailureMs = 2500;

    explicit StateLight(QWidget* parent = nullptr);

    // The link's state: shown now, or once a failure being shown has had its moment.
    void setState(Lamp lamp, const QString& text);
    // Red with this text for a moment, then the link's state again.
    void showFailure(const QString& text);

    // What the lamp shows and says now.
    Lamp lamp() const { return m_lamp; }
    QString text() const { return toolTip(); }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void display(Lamp lamp, const QString& text);

    Lamp m_lamp = Lamp::Off;
    Lamp m_stateLamp = Lamp::Off;
    QString m_stateText;
    QTimer m_failure;
};

// What a link's lamp shows: a lamp and its words.
struct LightState {
    StateLight::Lamp lamp = StateLight::Lamp::Off;
    QString text;
    bool operator==(const LightState&) const = default;
};

// Makes assistive technology see lamps as status indicators. Safe to call more than once.
void installStateLightAccessibility();
