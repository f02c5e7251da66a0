#include "app/MaskedField.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPalette>
#include <QTimer>
#include <QValidator>

#include <algorithm>
#include <chrono>

namespace {

constexpr QChar kBlank = u'_';
const QString kGuardName = QStringLiteral("typingGuard");

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool allDigits(QStringView text)
{
    return std::all_of(text.begin(), text.end(), isDigit);
}

// Qt's digit places take any Unicode digit ("²", "٣", "３"): this lets only 0-9 in, whatever
// way the text came (a blank place shows as "_").
class AsciiDigits final : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& text, int&) const override
    {
        const bool digitsOnly = std::all_of(text.begin(), text.end(), [](QChar c) {
            return isDigit(c) || c == kBlank || c == u' ';
        });
        return digitsOnly ? Acceptable : Invalid;
    }
};

// The "Paste" entry of Qt's own menu of a line edit, known by its text as Qt makes it
// (translated, with the shortcut after a tab where shortcuts are shown).
QAction* pasteEntry(const QMenu& menu)
{
    const QString paste = QLineEdit::tr("&Paste");
    for (QAction* action : menu.actions()) {
        if (action->text() == paste || action->text().startsWith(paste + u'\t'))
            return action;
    }
    return nullptr;
}

// Watches one field's clicks, keystrokes and pastes; lives as the field's child.
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
        // Whatever else Qt refuses (its own checks run below ours) is told the same way.
        connect(&field, &QLineEdit::inputRejected, this, [this] {
            if (!m_editing)
                refuse();
        });
        field.installEventFilter(this);
        field.setAcceptDrops(false);
    }

    void setMask(QStringView mask)
    {
        m_places = int(mask.size());
        m_field.setInputMethodHints(m_places > 0 ? Qt::ImhDigitsOnly : Qt::ImhNone);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &m_field)
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonRelease:
            return mouseRelease(*static_cast<QMouseEvent*>(event));
        case QEvent::KeyPress:
            return keyPress(*static_cast<QKeyEvent*>(event));
        case QEvent::ContextMenu:
            showContextMenu(*static_cast<QContextMenuEvent*>(event));
            return true;
        case QEvent::InputMethod:
            return inputMethod(*static_cast<QInputMethodEvent*>(event));
        default:
            return false;
        }
    }

private:
    bool masked() const { return m_places > 0; }

    // Just after the last typed character: 0 in an empty field.
    int typedEnd() const
    {
        const QString shown = m_field.displayText();
        int end = int(shown.size());
        while (end > 0 && shown[end - 1] == kBlank)
            --end;
        return end;
    }

    // Where what is typed or pasted goes: the selection, else the caret, which in a masked
    // field is never past what is typed.
    int insertionPoint() const
    {
        if (m_field.hasSelectedText())
            return m_field.selectionStart();
        return masked() ? std::min(m_field.cursorPosition(), typedEnd()) : m_field.cursorPosition();
    }

    // Whether text can go in whole at the insertion point.
    bool fits(QStringView text) const
    {
        if (masked())
            return allDigits(text) && insertionPoint() + int(text.size()) <= m_places;
        const qsizetype kept = m_field.text().size() - m_field.selectedText().size();
        return kept + text.size() <= m_field.maxLength();
    }

    bool mouseRelease(const QMouseEvent& click)
    {
        if (click.button() == Qt::MiddleButton && QApplication::clipboard()->supportsSelection()) {
            m_field.deselect();
            paste(QClipboard::Selection);
            return true;
        }
        if (click.button() == Qt::LeftButton && masked() && !m_field.hasSelectedText())
            m_field.setCursorPosition(typedEnd());
        return false;
    }

    bool keyPress(QKeyEvent& key)
    {
        if (key.matches(QKeySequence::Paste)) {
            paste(QClipboard::Clipboard);
            return true;
        }
        const QString typed = key.text();
        const bool character =
            !typed.isEmpty() && typed.front().isPrint() &&
            !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (!character || m_field.isReadOnly())
            return false;
        if (masked() && !allDigits(typed)) {
            refuse();
            return true;
        }
        // The caret may have been put past what is typed some other way (End, say).
        if (masked() && !m_field.hasSelectedText() && m_field.cursorPosition() > typedEnd())
            m_field.setCursorPosition(typedEnd());

        const QString before = m_field.displayText();
        const int caret = m_field.cursorPosition();
        const int selectionStart = m_field.selectionStart();
        m_editing = true;
        static_cast<QObject&>(m_field).event(&key);
        m_editing = false;
        if (m_field.displayText() == before && m_field.cursorPosition() == caret &&
            m_field.selectionStart() == selectionStart)
            refuse();
        return true;
    }

    bool inputMethod(const QInputMethodEvent& input)
    {
        if (input.commitString().isEmpty() || fits(input.commitString()))
            return false;
        refuse();
        return true;
    }

    // Qt's own menu, whose "Paste" goes through the same check as Ctrl+V.
    void showContextMenu(const QContextMenuEvent& click)
    {
        QMenu* menu = m_field.createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        if (QAction* pasteAction = pasteEntry(*menu)) {
            pasteAction->disconnect();
            connect(pasteAction, &QAction::triggered, this,
                    [this] { paste(QClipboard::Clipboard); });
        }
        menu->popup(click.globalPos());
    }

    void paste(QClipboard::Mode mode)
    {
        if (m_field.isReadOnly())
            return;
        QString text = QApplication::clipboard()->text(mode);
        if (masked())
            text = text.trimmed(); // a number copied with its line end
        if (text.isEmpty() && !m_field.hasSelectedText())
            return;
        if (!fits(text)) {
            refuse();
            return;
        }
        if (masked() && !m_field.hasSelectedText())
            m_field.setCursorPosition(insertionPoint());
        m_editing = true;
        m_field.insert(text);
        m_editing = false;
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
    int m_places = 0; // digit places; 0: no mask
    bool m_editing = false;
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
    guard->setMask(mask);
    if (mask.isEmpty()) {
        field.setInputMask(QString());
        field.setValidator(nullptr);
        field.setMaxLength(maxLength);
        return;
    }
    // Qt's "9" is a digit that may be left blank; "#" in Qt would also take a sign.
    QString qtMask(mask.size(), u'9');
    field.setInputMask(qtMask + QStringLiteral(";_"));
    field.setMaxLength(maxLength);
    if (!field.validator())
        field.setValidator(new AsciiDigits(&field));
}
