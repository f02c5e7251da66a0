#include "views/ViewActions.h"

#include "base/OperatorMessages.h"
#include "views/FileSave.h"
#include "views/LogPane.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QStandardPaths>

AskSavePath askSavePathWithDialog()
{
    return [](QWidget* parent, const QString& suggestedName, const QString& filter) {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QFileDialog dialog(parent, QStringLiteral("Guardar como"),
                           QDir(folder).filePath(suggestedName), filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // Qt's own dialog, where the platform has none, in the window's language.
        dialog.setLabelText(QFileDialog::LookIn, QStringLiteral("Buscar en:"));
        dialog.setLabelText(QFileDialog::FileName, QStringLiteral("Nombre:"));
        dialog.setLabelText(QFileDialog::FileType, QStringLiteral("Tipo:"));
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Guardar"));
        dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Cancelar"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    };
}

ViewActions::ViewActions(QAbstractScrollArea& view, Editing editing, SaveOffer offer,
                         AskSavePath ask, OperatorMessages& messages)
    : QObject(&view)
    , m_view(view)
    , m_editing(std::move(editing))
    , m_offer(std::move(offer))
    , m_ask(std::move(ask))
    , m_messages(messages)
    , m_copy(new QAction(QStringLiteral("Copiar"), &view))
    , m_selectAll(new QAction(QStringLiteral("Seleccionar todo"), &view))
    , m_saveAs(new QAction(QStringLiteral("Guardar como…"), &view))
{
    const auto install = [&view](QAction* action, QKeySequence::StandardKey key) {
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        view.addAction(action);
    };
    install(m_copy, QKeySequence::Copy);
    install(m_selectAll, QKeySequence::SelectAll);
    install(m_saveAs, QKeySequence::Save);
    connect(m_copy, &QAction::triggered, this, &ViewActions::copy);
    connect(m_selectAll, &QAction::triggered, this, [this] { m_editing.selectAll(); });
    connect(m_saveAs, &QAction::triggered, this, [this] { saveAs(); });

    view.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&view, &QWidget::customContextMenuRequested, this, &ViewActions::showMenu);
}

void ViewActions::showMenu(const QPoint& viewportPoint)
{
    // Greyed out in the menu when there is nothing to act on; the keys stay live, and do
    // nothing then.
    m_copy->setEnabled(!m_editing.canCopy || m_editing.canCopy());
    m_selectAll->setEnabled(!m_editing.canSelectAll || m_editing.canSelectAll());
    QMenu menu(&m_view);
    menu.addAction(m_copy);
    menu.addAction(m_selectAll);
    for (const QList<QAction*>& group : std::as_const(m_groups)) {
        menu.addSeparator();
        menu.addActions(group);
    }
    menu.addSeparator();
    menu.addAction(m_saveAs);
    menu.exec(m_view.viewport()->mapToGlobal(viewportPoint));
    m_copy->setEnabled(true);
    m_selectAll->setEnabled(true);
}

void ViewActions::copy()
{
    if (!m_editing.copy(kCopyLimit)) {
        m_messages.show(QStringLiteral("La selección es demasiado grande para copiarla: guarde "
                                       "el contenido con «Guardar como…»."),
                        MessageIcon::Exclamation);
    }
}

void ViewActions::addMenuGroup(const QList<QAction*>& actions)
{
    m_view.addActions(actions);
    m_groups.append(actions);
}

FileSave* ViewActions::saveAs()
{
    const QString path = m_ask(m_view.window(), m_offer.suggestedName, m_offer.filter);
    if (path.isEmpty())
        return nullptr;
    FileSave* save = saveWithProgress(m_view.window(), path, m_offer.take(), m_messages);
    emit saveStarted(save);
    return save;
}

ViewActions* installPaneActions(LogPane& pane, SaveOffer offer, AskSavePath ask,
                                OperatorMessages& messages)
{
    ViewActions::Editing editing{
        [&pane](qsizetype limit) {
            if (pane.selLength() > limit)
                return false;
            pane.copy();
            return true;
        },
        [&pane] { return pane.selLength() > 0; },
        [&pane] { pane.selectAll(); },
        [&pane] { return pane.length() > 0; },
    };
    return new ViewActions(pane, std::move(editing), std::move(offer), std::move(ask), messages);
}

QList<QAction*> makeTimeChoices(QObject* owner, std::function<void(bool, bool)> show)
{
    auto* shown = new QAction(QStringLiteral("Mostrar hora"), owner);
    auto* relative = new QAction(QStringLiteral("Hora relativa"), owner);
    shown->setCheckable(true);
    relative->setCheckable(true);
    relative->setEnabled(false);
    const auto apply = [shown, relative, show = std::move(show)] {
        relative->setEnabled(shown->isChecked());
        show(shown->isChecked(), relative->isChecked());
    };
    QObject::connect(shown, &QAction::toggled, owner, apply);
    QObject::connect(relative, &QAction::toggled, owner, apply);
    return {shown, relative};
}
