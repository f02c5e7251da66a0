#include "views/FindBar.h"

#include "views/OutgoingText.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QShortcut>
#include <QStyle>

#include <algorithm>

using RecordSearch::Direction;

namespace {

// Shows what fits of its text, with "…" where it is cut; its text, and what a screen reader
// is told, stay whole.
class ElidingLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRect area = contentsRect();
        style()->drawItemText(
            &painter, area, QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
            isEnabled(), fontMetrics().elidedText(text(), Qt::ElideRight, area.width()),
            foregroundRole());
    }
};

} // namespace

FindBar::FindBar(QAbstractScrollArea& view, FindPrepare prepare)
    : QWidget(view.parentWidget())
    , m_view(view)
    , m_prepare(std::move(prepare))
    , m_field(new QLineEdit(this))
    , m_mode(new QComboBox(this))
    , m_place(new ElidingLabel(this))
    , m_open(new QAction(QStringLiteral("Buscar…"), &view))
{
    setObjectName(view.objectName() + QStringLiteral("_find"));
    setAutoFillBackground(true);
    m_field->setAccessibleName(QStringLiteral("Buscar"));
    m_field->setPlaceholderText(QStringLiteral("Buscar"));
    m_mode->addItems(
        {QStringLiteral("Texto"), QStringLiteral("Hexadecimal"), QStringLiteral("Con escapes")});
    m_mode->setAccessibleName(QStringLiteral("Buscar como"));
    m_mode->setToolTip(QStringLiteral("Texto: tal cual. Hexadecimal: «02 41 03». Con escapes: "
                                      "\\r, \\n, \\t, \\0, \\\\ y \\xHH."));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(3);
    layout->addWidget(m_field, 2);
    layout->addWidget(m_mode);
    layout->addWidget(m_place, 3);
    // A long reason is cut at the bar's edge, with "…" (its whole text in the hover), never
    // squeezing the field.
    m_place->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // Hidden, it covers nothing, not even in a test of where the controls lie.
    setGeometry(QRect());
    hide();
    // Out of the Tab order while hidden; while open, right after its view.
    m_field->setFocusPolicy(Qt::NoFocus);
    m_mode->setFocusPolicy(Qt::NoFocus);

    m_open->setShortcut(QKeySequence::Find);
    m_open->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(m_open, &QAction::triggered, this, &FindBar::open);
    connect(m_field, &QLineEdit::returnPressed, this, [this] { find(Direction::Next); });
    // F3 and Shift+F3 in the bar and, while it is open, in the view too.
    const auto keys = [this](QWidget* widget, Qt::ShortcutContext context) {
        auto* next = new QShortcut(QKeySequence(Qt::Key_F3), widget);
        auto* previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), widget);
        next->setContext(context);
        previous->setContext(context);
        connect(next, &QShortcut::activated, this, [this] {
            if (isVisible())
                find(Direction::Next);
        });
        connect(previous, &QShortcut::activated, this, [this] {
            if (isVisible())
                find(Direction::Previous);
        });
    };
    keys(this, Qt::WidgetWithChildrenShortcut);
    keys(&m_view, Qt::WidgetShortcut);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        if (searching())
            cancel();
        else
            close();
    });
}

FindBar::~FindBar()
{
    stopThread();
}

void FindBar::open()
{
    if (isHidden()) {
        // The bar takes the view's top strip; the view moves down under it.
        m_viewGeometry = m_view.geometry();
        const int height = sizeHint().height();
        setGeometry(m_viewGeometry.x(), m_viewGeometry.y(), m_viewGeometry.width(), height);
        m_view.setGeometry(m_viewGeometry.adjusted(0, height, 0, 0));
        m_field->setFocusPolicy(Qt::StrongFocus);
        m_mode->setFocusPolicy(Qt::StrongFocus);
        setTabOrder(&m_view, m_field);
        setTabOrder(m_field, m_mode);
        show();
        raise();
    }
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
}

void FindBar::close()
{
    cancel();
    if (isHidden())
        return;
    hide();
    setGeometry(QRect());
    m_field->setFocusPolicy(Qt::NoFocus);
    m_mode->setFocusPolicy(Qt::NoFocus);
    m_view.setGeometry(m_viewGeometry);
    m_view.setFocus(Qt::OtherFocusReason);
}

void FindBar::find(Direction direction)
{
    // The combo's order: "Texto", "Hexadecimal", "Con escapes".
    static constexpr OutgoingText::Mode kModes[] = {
        OutgoingText::Mode::Text, OutgoingText::Mode::Hexadecimal, OutgoingText::Mode::Escapes};
    const OutgoingText::Reading pattern = OutgoingText::read(
        m_field->text(), kModes[std::clamp(m_mode->currentIndex(), 0, 2)], u"El texto a buscar");
    stopThread();
    if (!pattern.ok() || pattern.bytes.isEmpty()) {
        // The bar is one line: the reason in it, the part of the field it concerns selected.
        m_place->setText(pattern.ok() ? QStringLiteral("Escriba qué buscar") : pattern.reason);
        m_place->setToolTip(pattern.error);
        if (!pattern.ok())
            m_field->setSelection(int(pattern.errorAt), int(pattern.errorLength));
        emit searchEnded();
        return;
    }
    m_place->setText(QStringLiteral("Buscando…"));
    m_place->setToolTip(QString());
    const quint64 generation = ++m_generation;
    m_cancelled = std::make_shared<std::atomic<bool>>(false);
    m_done = false;
    m_thread = std::thread(
        [this, generation, job = m_prepare(pattern.bytes, direction), cancelled = m_cancelled] {
            FindOutcome outcome = job(*cancelled);
            QMetaObject::invokeMethod(
                this, [this, generation, outcome] { finish(generation, outcome); },
                Qt::QueuedConnection);
        });
}

void FindBar::cancel()
{
    if (!searching())
        return;
    stopThread();
    m_place->setText(QStringLiteral("Búsqueda cancelada"));
    emit searchEnded();
}

void FindBar::stopThread()
{
    if (m_cancelled)
        m_cancelled->store(true);
    if (m_thread.joinable())
        m_thread.join();
    // A result still on its way belongs to a search no one waits for.
    ++m_generation;
    m_done = true;
}

void FindBar::finish(quint64 generation, const FindOutcome& outcome)
{
    if (generation != m_generation)
        return;
    m_thread.join();
    m_done = true;
    if (!outcome.found) {
        m_place->setText(QStringLiteral("no hay coincidencias"));
    } else {
        outcome.select();
        QString where = linkName(outcome.link);
        if (where.isEmpty())
            where = QStringLiteral("Sin enlace");
        if (outcome.msecsSinceEpoch != CodeRowEntry::kNoTime) {
            where += QStringLiteral(", ") + QDateTime::fromMSecsSinceEpoch(outcome.msecsSinceEpoch)
                                                .toString(QStringLiteral("HH:mm:ss.zzz"));
        }
        m_place->setText(where);
    }
    emit searchEnded();
}
