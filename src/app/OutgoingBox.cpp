#include "app/OutgoingBox.h"

#include "app/EnterKey.h"
#include "views/OutgoingText.h"

#include <QAbstractButton>
#include <QActionGroup>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>

#include <memory>

using OutgoingText::LineEnd;
using OutgoingText::Mode;

namespace {

// The choices of a group, each a checkable entry carrying its value.
template <typename Value>
QActionGroup* choices(QObject* parent,
                      std::initializer_list<std::pair<const char16_t*, Value>> entries)
{
    auto* group = new QActionGroup(parent);
    for (const auto& [text, value] : entries) {
        QAction* action = group->addAction(QString::fromUtf16(text));
        action->setCheckable(true);
        action->setData(int(value));
    }
    return group;
}

template <typename Value> Value chosen(const QActionGroup& group)
{
    const QAction* action = group.checkedAction();
    return Value(action ? action->data().toInt() : 0);
}

void check(QActionGroup& group, int value)
{
    for (QAction* action : group.actions())
        action->setChecked(action->data().toInt() == value);
}

} // namespace

OutgoingBox::OutgoingBox(QLineEdit& box, QAbstractButton& enviar)
    : QObject(&box)
    , m_box(box)
    , m_modes(choices<Mode>(this, {{u"Texto", Mode::Text},
                                   {u"Secuencias de escape", Mode::Escapes},
                                   {u"Hexadecimal", Mode::Hexadecimal}}))
    , m_lineEnds(choices<LineEnd>(this, {{u"Ninguno", LineEnd::None},
                                         {u"CR", LineEnd::CR},
                                         {u"LF", LineEnd::LF},
                                         {u"CR+LF", LineEnd::CRLF}}))
{
    clickOnEnter(box, enviar);
    OutgoingText::setFormat(box, OutgoingText::formatOf(box));
    for (QActionGroup* group : {m_modes, m_lineEnds})
        connect(group, &QActionGroup::triggered, this, &OutgoingBox::chooseFormat);
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
    if (watched != &m_box)
        return false;
    if (event->type() == QEvent::ContextMenu) {
        showMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    if (event->type() != QEvent::KeyPress)
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

// The box's own editing entries, then its format.
void OutgoingBox::showMenu(const QPoint& globalPosition)
{
    const OutgoingText::Format format = OutgoingText::formatOf(m_box);
    check(*m_modes, int(format.mode));
    check(*m_lineEnds, int(format.lineEnd));
    const std::unique_ptr<QMenu> menu(m_box.createStandardContextMenu());
    menu->addSeparator();
    menu->addActions(m_modes->actions());
    menu->addSeparator();
    menu->addMenu(QStringLiteral("Fin de línea"))->addActions(m_lineEnds->actions());
    menu->exec(globalPosition);
}

void OutgoingBox::chooseFormat()
{
    OutgoingText::setFormat(m_box, {chosen<Mode>(*m_modes), chosen<LineEnd>(*m_lineEnds)});
}
