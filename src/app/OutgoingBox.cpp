#include "app/OutgoingBox.h"

#include "app/EnterKey.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLineEdit>

OutgoingBox::OutgoingBox(QLineEdit& box, QAbstractButton& enviar)
    : QObject(&box)
    , m_box(box)
{
    clickOnEnter(box, enviar);
    connect(&box, &QLineEdit::textChanged, this, [this] {
        if (!m_recalling)
            m_history.stopWalking();
    });
    box.installEventFilter(this);
}

void OutgoingBox::send(const std::function<void()>& enviarHandler)
{
    const QString shown = m_box.text();
    enviarHandler();
    if (m_box.text().isEmpty())
        m_history.record(shown);
}

void OutgoingBox::remember(const QString& sent)
{
    m_history.record(sent);
}

bool OutgoingBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_box || event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    if (key->key() == Qt::Key_Up) {
        recall(m_history.older(m_box.text()));
        return true;
    }
    if (key->key() == Qt::Key_Down) {
        recall(m_history.newer());
        return true;
    }
    return false;
}

void OutgoingBox::recall(const std::optional<QString>& text)
{
    if (!text)
        return;
    m_recalling = true;
    m_box.setText(*text);
    m_recalling = false;
}
