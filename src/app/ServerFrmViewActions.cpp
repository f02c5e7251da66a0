#include "app/ServerFrm.h"
#include "ui_ServerFrm.h"

#include "codes/CodeList.h"
#include "codes/CodeListActions.h"
#include "codes/CodeListFind.h"
#include "codes/CodeListView.h"
#include "codes/SessionCsv.h"
#include "record/SessionSaveBinding.h"
#include "views/FileSave.h"
#include "views/FindBar.h"
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
                                        const std::function<void()>& clear) {
        ViewActions* actions = installPaneActions(
            *pane,
            {name, kTextFilter,
             [this, pane] {
                 return paneContent(paneSource(m_record->snapshot(), pane->link()));
             }},
            ask, *m_messages);
        connect(actions, &ViewActions::saveStarted, this,
                [this](FileSave* save) { watchSave(save, 0); });
        auto* clearing = new QAction(QStringLiteral("Limpiar"), pane);
        connect(clearing, &QAction::triggered, pane, clear);
        actions->addMenuGroup({clearing});
        actions->addMenuGroup({installPaneFind(*pane)->openAction()});
    };
    offerPane(m_ui->Text3, QStringLiteral("servidor.txt"), [pane = m_ui->Text3] { pane->clear(); });
    offerPane(m_ui->Text4, QStringLiteral("cliente.txt"), [pane = m_ui->Text4] { pane->clear(); });
    offerPane(m_ui->Text2, QStringLiteral("serie.txt"),
              [button = m_ui->Command6] { button->click(); });
    // The list saves what it shows: the rows since its last "Limpiar lista". Those rows are
    // then kept, for closing.
    ViewActions* listActions = installCodeListActions(
        *m_ui->ListView1, *m_codeList,
        {kSessionName, kCsvFilter,
         [this] {
             const qint64 fromRow = m_codeList->firstRow();
             m_takenWriter = m_keeping->startWriting(fromRow, m_keeping->now());
             return sessionCsvContent(sessionSource(m_record->snapshot(), fromRow));
         }},
        ask, *m_messages);
    listActions->addMenuGroup(
        {installCodeListFind(*m_ui->ListView1, *m_codeList, *m_record)->openAction()});
    connect(listActions, &ViewActions::saveStarted, this,
            [this](FileSave* save) { watchSave(save, std::exchange(m_takenWriter, 0)); });
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
