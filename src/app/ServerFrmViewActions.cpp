#include "app/ServerFrm.h"
#include "ui_ServerFrm.h"

#include "codes/CodeList.h"
#include "codes/CodeListActions.h"
#include "codes/CodeListFind.h"
#include "codes/CodeListView.h"
#include "codes/LineGrouping.h"
#include "codes/SessionCapture.h"
#include "codes/SessionCsv.h"
#include "net/ClientReconnect.h"
#include "record/SessionSaveBinding.h"
#include "serial/SerialReconnect.h"
#include "views/FileSave.h"
#include "views/FindBar.h"
#include "views/LocalEcho.h"
#include "views/LogPane.h"
#include "views/SessionKeeping.h"

#include <QAction>
#include <QByteArray>
#include <QList>
#include <QPushButton>

namespace {

const QString kTextFilter = QStringLiteral("Texto (*.txt);;Todos los archivos (*)");
const QString kCsvFilter = QStringLiteral("CSV (*.csv);;Todos los archivos (*)");
const QString kSessionName = QStringLiteral("sesion.csv");

} // namespace

void ServerFrm::installViewActions()
{
    const AskSavePath& ask = m_askSavePath;
    // Each pane's "Limpiar" empties it as the serial "Limpiar" does; the serial pane's is that
    // button. The record keeps the bytes for the code list.
    const auto offerPane = [this, &ask](LogPane* pane, const QString& name,
                                        const std::function<void()>& clear) -> ViewActions* {
        ViewActions* actions = installPaneActions(
            *pane,
            {name, kTextFilter,
             [this, pane] {
                 const RecordSnapshot snapshot = m_record->snapshot();
                 PaneSource source = paneSource(snapshot, pane->link());
                 // With times shown, the file has them as a copy would.
                 return pane->times().shown()
                            ? timedPaneContent(std::move(source), snapshot.linkRows(pane->link()),
                                               pane->times().mode())
                            : paneContent(std::move(source));
             }},
            ask, *m_messages);
        connect(actions, &ViewActions::saveStarted, this,
                [this](FileSave* save) { watchSave(save, 0); });
        auto* clearing = new QAction(QStringLiteral("Limpiar"), pane);
        connect(clearing, &QAction::triggered, pane, clear);
        actions->addMenuGroup({clearing});
        actions->addMenuGroup({installPaneFind(*pane)->openAction()});
        actions->addMenuGroup(makeTimeChoices(pane, [pane](bool shown, bool relative) {
            pane->setTimes(!shown     ? PaneTimes::Mode::Hidden
                           : relative ? PaneTimes::Mode::Relative
                                      : PaneTimes::Mode::Clock);
        }));
        return actions;
    };
    offerPane(m_ui->Text3, QStringLiteral("servidor.txt"), [pane = m_ui->Text3] { pane->clear(); });
    ViewActions* client = offerPane(m_ui->Text4, QStringLiteral("cliente.txt"),
                                    [pane = m_ui->Text4] { pane->clear(); });
    ViewActions* serial = offerPane(m_ui->Text2, QStringLiteral("serie.txt"),
                                    [button = m_ui->Command6] { button->click(); });
    // The panes' options, off until the operator turns them on.
    const auto option = [](LogPane* pane, const QString& text, auto turn) {
        auto* action = new QAction(text, pane);
        action->setCheckable(true);
        connect(action, &QAction::toggled, pane, turn);
        return action;
    };
    const QString reconnect = QStringLiteral("Reconectar automáticamente");
    serial->addMenuGroup(
        {option(m_ui->Text2, QStringLiteral("Eco local"),
                [echo = m_localEcho.get()](bool on) { echo->setOn(on); }),
         option(m_ui->Text2, reconnect, [serialReconnect = m_serialReconnect.get()](bool on) {
             serialReconnect->setOn(on);
         })});
    client->addMenuGroup(
        {option(m_ui->Text4, reconnect, [clientReconnect = m_clientReconnect.get()](bool on) {
            clientReconnect->setOn(on);
        })});
    // The list saves what it shows: the rows since its last "Limpiar lista". Those rows are
    // then kept, for closing.
    ViewActions* listActions = installCodeListActions(
        *m_ui->ListView1, *m_codeList,
        {kSessionName, kCsvFilter,
         [this] {
             const qint64 fromRow = m_codeList->firstRow();
             m_takenWriter = m_keeping->startWriting(fromRow, m_keeping->now());
             SessionSource rows = sessionSource(m_record->snapshot(), fromRow);
             return sessionCsvContent(m_codeList->groupedByLine() ? groupedByLine(std::move(rows))
                                                                  : std::move(rows));
         }},
        ask, *m_messages);
    listActions->addMenuGroup(
        {installCodeListFind(*m_ui->ListView1, *m_codeList, *m_record)->openAction()});
    connect(listActions, &ViewActions::saveStarted, this,
            [this](FileSave* save) { watchSave(save, std::exchange(m_takenWriter, 0)); });
    m_capture = std::make_unique<SessionCapture>(
        *m_record, *m_keeping, *m_messages, *this, ask, m_askCaptureStart,
        [list = m_codeList.get()] { return list->groupedByLine(); });
    listActions->addMenuGroup({m_capture->action()});
}

bool ServerFrm::saveSessionBeforeClosing()
{
    const QString path = m_askSavePath(this, kSessionName, kCsvFilter);
    if (path.isEmpty())
        return false;
    // Every row the session received, also those "Limpiar lista" took from the list.
    const int writer = m_keeping->startWriting(0, m_keeping->now());
    watchSave(saveWithProgress(this, path,
                               sessionCsvContent(sessionSource(m_record->snapshot(), 0)),
                               *m_messages),
              writer);
    return true;
}
