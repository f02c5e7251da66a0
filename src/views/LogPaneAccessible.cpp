#include "views/LogPaneAccessible.h"

#include "views/LogPane.h"
#include "views/SentRanges.h"
#include "views/ShownText.h"

#include <QAccessibleWidget>

#include <algorithm>

namespace {

int clampToInt(qint64 value)
{
    return int(std::min<qint64>(value, INT_MAX));
}

// The most text handed out at once: a string of a whole multi-gigabyte pane could not even
// be made.
constexpr qint64 kMostCharacters = qint64(1) << 24;

class LogPaneAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit LogPaneAccessible(LogPane* pane)
        : QAccessibleWidget(pane, QAccessible::EditableText)
    {
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.editable = false;
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return text(0, characterCount());
        return QAccessibleWidget::text(t);
    }

    // QAccessibleTextInterface
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (selectionIndex == 0 && pane()->selLength() > 0) {
            *startOffset = clampToInt(pane()->selStart());
            *endOffset = clampToInt(pane()->selStart() + pane()->selLength());
        }
    }
    int selectionCount() const override { return pane()->selLength() > 0 ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override
    {
        setSelection(0, startOffset, endOffset);
    }
    void removeSelection(int) override { pane()->setSelStart(pane()->selStart()); }
    void setSelection(int, int startOffset, int endOffset) override
    {
        pane()->setSelStart(startOffset);
        pane()->setSelLength(endOffset - startOffset);
    }
    int cursorPosition() const override { return clampToInt(pane()->selStart()); }
    void setCursorPosition(int position) override { pane()->setSelStart(position); }
    QString text(int startOffset, int endOffset) const override
    {
        const qint64 start = std::clamp<qint64>(startOffset, 0, pane()->length());
        const qint64 end = std::clamp<qint64>(endOffset, start, start + kMostCharacters);
        return ShownText::of(pane()->bytes(start, end));
    }
    // A line read out with its time first, when the pane shows times.
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int* startOffset,
                         int* endOffset) const override
    {
        const QString text =
            QAccessibleTextInterface::textAtOffset(offset, boundary, startOffset, endOffset);
        if (boundary != QAccessible::LineBoundary)
            return text;
        const QString time = pane()->rowTime(pane()->rowOf(*startOffset));
        return time.isEmpty() ? text : time + u'\t' + text;
    }
    int characterCount() const override { return clampToInt(pane()->length()); }
    QRect characterRect(int offset) const override
    {
        const QRect local = pane()->characterRect(offset);
        return QRect(pane()->viewport()->mapToGlobal(local.topLeft()), local.size());
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        return clampToInt(pane()->positionAt(pane()->viewport()->mapFromGlobal(point)));
    }
    void scrollToSubstring(int startIndex, int) override { pane()->scrollToPosition(startIndex); }
    // Bytes the pane marks as sent (a local echo) are told as the colour they are drawn in,
    // as IAccessible2 and AT-SPI carry text colours; received text has no attribute.
    QString attributes(int offset, int* startOffset, int* endOffset) const override
    {
        const SentRanges* sent = pane()->sentRanges();
        if (!sent || offset < 0 || offset >= pane()->length()) {
            *startOffset = *endOffset = offset;
            return {};
        }
        const SentRanges::Run run = sent->runAt(offset, pane()->length());
        *startOffset = clampToInt(run.from);
        *endOffset = clampToInt(run.to);
        if (!run.sent)
            return {};
        const QColor colour = pane()->palette().color(QPalette::Link);
        return QStringLiteral("color:rgb(%1,%2,%3);")
            .arg(colour.red())
            .arg(colour.green())
            .arg(colour.blue());
    }

private:
    LogPane* pane() const { return static_cast<LogPane*>(widget()); }
};

QAccessibleInterface* logPaneFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("LogPane") && object && object->isWidgetType())
        return new LogPaneAccessible(static_cast<LogPane*>(object));
    return nullptr;
}

} // namespace

void installLogPaneAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(logPaneFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
