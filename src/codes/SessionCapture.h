#pragma once

#include "views/SessionKeeping.h"
#include "views/ViewActions.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class CaptureWriter;
class OperatorMessages;
class QAction;
class QWidget;
class SessionKeeping;
class SessionRecord;

// Whether a capture begins with what the session already holds.
enum class CaptureStart { WithSession, FromNow, Cancel };
// Asks it, with the text given, when the session holds rows already; the real one is a
// message box with "Todo, desde el principio", "Solo lo que llegue" and "Cancelar".
using AskCaptureStart = std::function<CaptureStart(QWidget* parent, const QString& text)>;
AskCaptureStart askCaptureStartWithMessageBox();

// "Grabar en archivo…" on the code list: every chunk received from then on (and, if the
// operator chooses, every row of the session first) is appended as it arrives to a file, as
// session CSV (docs/SESSION-CSV.md). The entry is checked and names the file while it runs;
// choosing it again stops.
//
// The window's thread only hands the writer (CaptureWriter, a thread of its own) a snapshot of
// the record a few times a second, so the file is at most that far behind and the window never
// waits for the disk. What is handed over counts as kept for closing (SessionKeeping); a file
// that fails is told once, the rows it was given count as not kept again, and the capture
// stops: the session itself loses nothing, and another file can be chosen. A capture that is
// stopped, or the window closed, writes what it was given to the end first.
class SessionCapture : public QObject {
    Q_OBJECT

public:
    // How often new rows are handed to the writer.
    static constexpr int kHandOverMs = 200;

    // grouped: whether the list groups serial rows by line ("Agrupar la serie por línea"),
    // which the file follows.
    SessionCapture(SessionRecord& record, SessionKeeping& keeping, OperatorMessages& messages,
                   QWidget& dialogParent, AskSavePath askPath, AskCaptureStart askStart,
                   std::function<bool()> grouped);
    ~SessionCapture() override;

    QAction* action() const { return m_action; }
    bool isRunning() const { return m_writer != nullptr; }

    // Hands the writer every row received until now (closing does, before it counts what is
    // kept).
    void catchUp();

signals:
    // The running capture's file holds the record's rows up to here.
    void written(qint64 rows);

private:
    void choose();
    void begin(const QString& path, SessionKeeping::Mark from);
    void stop();
    void fail(CaptureWriter* writer, int keepingWriter, const QString& reason, bool began);
    void showState();

    SessionRecord& m_record;
    SessionKeeping& m_keeping;
    OperatorMessages& m_messages;
    QWidget& m_dialogParent;
    AskSavePath m_askPath;
    AskCaptureStart m_askStart;
    std::function<bool()> m_grouped;
    QAction* m_action;
    QTimer m_handOver;

    CaptureWriter* m_writer = nullptr;
    int m_keepingWriter = 0;
    // The first record row not yet handed over.
    qint64 m_given = 0;
    // Writers stopped but still writing what they were given.
    std::vector<CaptureWriter*> m_ending;
};
