#pragma once

#include "record/SessionSave.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class FileSave;
class LogPane;
class OperatorMessages;
class QAbstractScrollArea;
class QAction;
class QWidget;

// How the operator names the file a view is saved to; an empty answer means "do not save".
// The real one asks with the file dialog; tests answer with a path.
using AskSavePath =
    std::function<QString(QWidget* parent, const QString& suggestedName, const QString& filter)>;
AskSavePath askSavePathWithDialog();

// What "Guardar como…" of a view offers: the file name it suggests, the dialog's filter, and
// the content, taken on the window's thread once the operator has named the file.
struct SaveOffer {
    QString suggestedName;
    QString filter;
    std::function<SaveContent()> take;
};

// The context menu and keys a view of the record shares with the others: "Copiar",
// "Seleccionar todo" and "Guardar como…" (Ctrl+C, Ctrl+A, Ctrl+S while the view has focus),
// the only way the view copies. What is copied and selected is the view's own; a selection
// larger than kCopyLimit characters is not put on the clipboard (a busy session would take
// gigabytes there) and the operator is told to save instead. Saving runs in the background
// (FileSave) and a failure is told to the operator. A view may add entries of its own
// ("Limpiar"). It belongs to the view and goes with it.
class ViewActions : public QObject {
    Q_OBJECT

public:
    static constexpr qsizetype kCopyLimit = qsizetype(32) << 20;

    struct Editing {
        // Copies the selection, unless its text would pass limit characters; returns whether
        // it did.
        std::function<bool(qsizetype limit)> copy;
        std::function<bool()> canCopy;
        std::function<void()> selectAll;
        std::function<bool()> canSelectAll;
    };

    ViewActions(QAbstractScrollArea& view, Editing editing, SaveOffer offer, AskSavePath ask,
                OperatorMessages& messages);

    QAction* copyAction() const { return m_copy; }
    QAction* selectAllAction() const { return m_selectAll; }
    QAction* saveAsAction() const { return m_saveAs; }

    // Entries of the view's own, shown as one group between the editing entries and
    // "Guardar como…", set apart by separators. They become the view's actions.
    void addMenuGroup(const QList<QAction*>& actions);

    // What "Guardar como…" does: ask for the file, then save to it. Returns the running save,
    // or nullptr when the operator named no file.
    FileSave* saveAs();

signals:
    void saveStarted(FileSave* save);

private:
    void showMenu(const QPoint& viewportPoint);
    void copy();

    QAbstractScrollArea& m_view;
    Editing m_editing;
    SaveOffer m_offer;
    AskSavePath m_ask;
    OperatorMessages& m_messages;
    QAction* m_copy;
    QAction* m_selectAll;
    QAction* m_saveAs;
    QList<QList<QAction*>> m_groups;
};

// "Mostrar hora" and "Hora relativa", checkable, off at first: the first shows times, the
// second (which needs the first) makes them relative. show(shown, relative) applies a choice.
QList<QAction*> makeTimeChoices(QObject* owner,
                                std::function<void(bool shown, bool relative)> show);

// A log pane's actions: it copies its selection, selects its whole text, and saves what the
// offer gives (the pane's text as shown).
ViewActions* installPaneActions(LogPane& pane, SaveOffer offer, AskSavePath ask,
                                OperatorMessages& messages);
