#pragma once

#include "record/Link.h"
#include "record/RecordSearch.h"

#include <QByteArray>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class QAbstractScrollArea;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;

// What a search found, made on the helper thread and shown on the window's: where (for the
// label) and how the view shows it (select, called only if the view still exists).
struct FindOutcome {
    bool found = false;
    Link link = Link::Unknown;
    qint64 msecsSinceEpoch = CodeRowEntry::kNoTime;
    std::function<void()> select;
};
// A search of a view from its current place: taken on the window's thread (a snapshot of the
// record and where the view stands), run on the helper thread until done or cancelled.
using FindJob = std::function<FindOutcome(const std::atomic<bool>& cancelled)>;
using FindPrepare = std::function<FindJob(const QByteArray& needle, RecordSearch::Direction)>;

// The find bar of a log pane or the code list: Ctrl+F opens it over the view's top edge (the
// view gives up that strip while it is open), with a field whose accessible name is "Buscar",
// how the field reads ("Texto", "Hexadecimal", "Con escapes", read as the outgoing boxes are) and a
// label that tells where the match is (its link and arrival time, hh:mm:ss.mmm) or that there is
// none. Enter and F3 find the next match, Shift+F3 the previous one, wrapping round; Esc cancels a
// running search, or else closes the bar. The search runs on a helper thread over a snapshot
// of the record: the window never waits for it. What it deliberately does not do: search as
// the operator types (a 1 GB pane takes a second), or keep anything between windows.
class FindBar : public QWidget {
    Q_OBJECT

public:
    FindBar(QAbstractScrollArea& view, FindPrepare prepare);
    ~FindBar() override;

    // "Buscar…" (Ctrl+F), for the view's menu.
    QAction* openAction() const { return m_open; }
    QLineEdit* field() const { return m_field; }
    QComboBox* modeBox() const { return m_mode; }
    QLabel* place() const { return m_place; }
    bool searching() const { return m_thread.joinable() && !m_done; }

    void open();
    void close();
    void find(RecordSearch::Direction direction);
    void cancel();

signals:
    // A search ended: found, not found, cancelled or refused (the label says which).
    void searchEnded();

private:
    void finish(quint64 generation, const FindOutcome& outcome);
    void stopThread();

    QAbstractScrollArea& m_view;
    FindPrepare m_prepare;
    QLineEdit* m_field;
    QComboBox* m_mode;
    QLabel* m_place;
    QAction* m_open;
    QRect m_viewGeometry;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
    std::thread m_thread;
    bool m_done = true;
    quint64 m_generation = 0;
};

// How the label names a link: "Servidor", "Cliente", "Serie".
QString findLinkName(Link link);

class LogPane;
// A log pane's find bar: it searches the pane's bytes since its last "Limpiar" and selects
// the match.
FindBar* installPaneFind(LogPane& pane);
