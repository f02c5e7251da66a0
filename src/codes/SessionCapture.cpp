#include "codes/SessionCapture.h"

#include "base/ControlError.h"
#include "base/FailureDispatch.h"
#include "base/OperatorMessages.h"
#include "codes/CaptureWriter.h"
#include "record/SessionRecord.h"
#include "views/SessionKeeping.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>

namespace {

const QString kEntry = QStringLiteral("Grabar en archivo…");
const QString kSuggestedName = QStringLiteral("captura.csv");
const QString kCsvFilter = QStringLiteral("CSV (*.csv);;Todos los archivos (*)");

} // namespace

AskCaptureStart askCaptureStartWithMessageBox()
{
    return [](QWidget* parent, const QString& text) {
        QMessageBox box(QMessageBox::Question, QCoreApplication::applicationName(), text,
                        QMessageBox::NoButton, parent);
        QPushButton* all =
            box.addButton(QStringLiteral("Todo, desde el principio"), QMessageBox::AcceptRole);
        QPushButton* fromNow =
            box.addButton(QStringLiteral("Solo lo que llegue"), QMessageBox::AcceptRole);
        QPushButton* cancel = box.addButton(QStringLiteral("Cancelar"), QMessageBox::RejectRole);
        box.setDefaultButton(all);
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() == all)
            return CaptureStart::WithSession;
        if (box.clickedButton() == fromNow)
            return CaptureStart::FromNow;
        return CaptureStart::Cancel;
    };
}

SessionCapture::SessionCapture(SessionRecord& record, SessionKeeping& keeping,
                               OperatorMessages& messages, QWidget& dialogParent,
                               AskSavePath askPath, AskCaptureStart askStart,
                               std::function<bool()> grouped)
    : m_record(record)
    , m_keeping(keeping)
    , m_messages(messages)
    , m_dialogParent(dialogParent)
    , m_askPath(std::move(askPath))
    , m_askStart(askStart ? std::move(askStart) : askCaptureStartWithMessageBox())
    , m_grouped(std::move(grouped))
    , m_action(new QAction(kEntry, this))
{
    m_action->setCheckable(true);
    connect(m_action, &QAction::triggered, this, &SessionCapture::choose);
    m_handOver.setInterval(kHandOverMs);
    connect(&m_handOver, &QTimer::timeout, this, &SessionCapture::catchUp);
}

SessionCapture::~SessionCapture()
{
    // Each writer writes what it was given to the end as it goes.
    catchUp();
    delete m_writer;
    for (CaptureWriter* writer : m_ending)
        delete writer;
}

void SessionCapture::choose()
{
    if (m_writer) {
        stop();
        return;
    }
    showState();
    const QString path = m_askPath(&m_dialogParent, kSuggestedName, kCsvFilter);
    if (path.isEmpty())
        return;
    // Where "from now on" begins, even if rows arrive while the question is open.
    const SessionKeeping::Mark already = m_keeping.now();
    const qint64 rows = already.rows;
    CaptureStart start = CaptureStart::FromNow;
    if (rows > 0) {
        const QLocale spanish(QLocale::Spanish);
        const qint64 bytes = already.bytes;
        start = m_askStart(
            &m_dialogParent,
            QStringLiteral("La sesión tiene ya %1 %2 (%3 %4). ¿Se escriben también en %5, antes "
                           "de lo que llegue a partir de ahora?")
                .arg(spanish.toString(rows),
                     rows == 1 ? QStringLiteral("fila recibida")
                               : QStringLiteral("filas recibidas"),
                     spanish.toString(bytes),
                     bytes == 1 ? QStringLiteral("byte") : QStringLiteral("bytes"),
                     quoted(QFileInfo(path).fileName())));
    }
    if (start == CaptureStart::Cancel)
        return;
    begin(path, start == CaptureStart::WithSession ? SessionKeeping::Mark{} : already);
}

void SessionCapture::begin(const QString& path, SessionKeeping::Mark from)
{
    const qint64 fromRow = from.rows;
    auto* writer = new CaptureWriter(path);
    m_writer = writer;
    m_given = fromRow;
    m_keepingWriter =
        m_keeping.startWriting(from, fromRow == 0 ? SessionKeeping::Mark{} : m_keeping.now());
    const int keepingWriter = m_keepingWriter;
    connect(writer, &CaptureWriter::written, this, [this, writer](qint64 rows) {
        if (writer == m_writer)
            emit written(rows);
    });
    connect(writer, &CaptureWriter::failed, this,
            [this, writer, keepingWriter](const QString& why, bool began) {
                fail(writer, keepingWriter, why, began);
            });
    connect(writer, &CaptureWriter::finished, this, [this, writer, keepingWriter] {
        m_keeping.finish(keepingWriter, true);
        std::erase(m_ending, writer);
        writer->deleteLater();
    });
    writer->start();
    // The rows already received, if asked for, go at once.
    if (fromRow < m_record.codeRowCount())
        catchUp();
    m_handOver.start();
    showState();
}

void SessionCapture::catchUp()
{
    if (!m_writer || m_record.codeRowCount() <= m_given)
        return;
    RecordSnapshot snapshot = m_record.snapshot();
    const qint64 rows = snapshot.codeRowCount();
    m_writer->give(std::move(snapshot), m_given, m_grouped && m_grouped());
    m_given = rows;
    m_keeping.advance(m_keepingWriter, m_keeping.now());
}

void SessionCapture::stop()
{
    catchUp();
    m_handOver.stop();
    m_ending.push_back(std::exchange(m_writer, nullptr));
    m_ending.back()->finish();
    showState();
}

void SessionCapture::fail(CaptureWriter* writer, int keepingWriter, const QString& reason,
                          bool began)
{
    // Whatever it was given is unsure now.
    m_keeping.finish(keepingWriter, false);
    const QString path = writer->path();
    if (writer == m_writer) {
        m_writer = nullptr;
        m_handOver.stop();
        showState();
    }
    std::erase(m_ending, writer);
    writer->deleteLater();
    m_messages.show(
        errorMessageText(
            QStringLiteral("No se pudo %1 en %2: %3. No se ha perdido nada de lo recibido: la "
                           "sesión lo sigue guardando en memoria, y puede elegir otro archivo "
                           "con «Grabar en archivo…».")
                .arg(began ? QStringLiteral("seguir grabando") : QStringLiteral("grabar"),
                     quoted(path), reason)),
        MessageIcon::Critical);
}

void SessionCapture::showState()
{
    m_action->setChecked(m_writer != nullptr);
    m_action->setText(m_writer ? QStringLiteral("Grabar en archivo %1")
                                     .arg(quoted(QFileInfo(m_writer->path()).fileName()))
                               : kEntry);
}
