#include "app/MaskedField.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPalette>
#include <QTimer>

#include <chrono>

namespace {

constexpr QChar kBlank = u'_';
const QString kGuardName = QStringLiteral("typingGuard");

// Watches one field's clicks and keystrokes; lives as the field's child.
class TypingGuard final : public QObject {
public:
    explicit TypingGuard(QLineEdit& field)
        : QObject(&field)
        , m_field(field)
    {
        setObjectName(kGuardName);
        using namespace std::chrono_literals;
        m_flash.setSingleShot(true);
        m_flash.setInterval(200ms);
        connect(&m_flash, &QTimer::timeout, this, [this] { m_field.setPalette(m_ownPalette); });
        field.installEventFilter(this);
    }

    void setMasked(bool masked) { m_masked = masked; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &m_field)
            return false;
        if (event->type() == QEvent::MouseButtonRelease && m_masked &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
            !m_field.hasSelectedText()) {
            m_field.setCursorPosition(typedEnd());
        } else if (event->type() == QEvent::KeyPress) {
            return keyPress(*static_cast<QKeyEvent*>(event));
        }
        return false;
    }

private:
    // Just after the last typed character: 0 in an empty field.
    int typedEnd() const
    {
        const QString shown = m_field.displayText();
        int end = int(shown.size());
        while (end > 0 && shown[end - 1] == kBlank)
            --end;
        return end;
    }

    bool keyPress(QKeyEvent& key)
    {
        const QString typed = key.text();
        const bool character =
            !typed.isEmpty() && typed.front().isPrint() &&
            !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (!character || m_field.isReadOnly())
            return false;
        // The caret may have been put past what is typed some other way (End, say).
        if (m_masked && !m_field.hasSelectedText() && m_field.cursorPosition() > typedEnd())
            m_field.setCursorPosition(typedEnd());

        const QString before = m_field.displayText();
        const int caret = m_field.cursorPosition();
        const int selectionStart = m_field.selectionStart();
        static_cast<QObject&>(m_field).event(&key);
        if (m_field.displayText() == before && m_field.cursorPosition() == caret &&
            m_field.selectionStart() == selectionStart)
            refuse();
        return true;
    }

    void refuse()
    {
        QApplication::beep();
        if (!m_flash.isActive()) {
            // A palette of the field's own, if it had one; otherwise none, so that it goes on
            // following the window's.
            m_ownPalette =
                m_field.testAttribute(Qt::WA_SetPalette) ? m_field.palette() : QPalette();
            QPalette flashed = m_field.palette();
            flashed.setColor(QPalette::Base, QColor(0xff, 0xc0, 0xc0));
            m_field.setPalette(flashed);
        }
        m_flash.start();
    }

    QLineEdit& m_field;
    bool m_masked = false;
    QTimer m_flash;
    QPalette m_ownPalette;
};

} // namespace

void makeMaskedField(QLineEdit& field, QStringView mask, int maxLength)
{
    auto* guard = static_cast<TypingGuard*>(
        field.findChild<QObject*>(kGuardName, Qt::FindDirectChildrenOnly));
    if (!guard)
        guard = new TypingGuard(field);
    guard->setMasked(!mask.isEmpty());
    if (mask.isEmpty()) {
        field.setInputMask(QString());
        field.setMaxLength(maxLength);
        return;
    }
    // Qt's "9" is a digit that may be left blank; "#" in Qt would also take a sign.
    QString qtMask(mask.size(), u'9');
    field.setInputMask(qtMask + QStringLiteral(";_"));
    field.setMaxLength(maxLength);
}
