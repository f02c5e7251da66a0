#include "app/ServerFrm.h"
#include "ui_ServerFrm.h"

#include "codes/CodeList.h"
#include "codes/CodeListActions.h"
#include "codes/CodeListView.h"
#include "codes/SessionCsv.h"
#include "record/SessionSaveBinding.h"
#include "views/LogPane.h"

#include <QAction>
#include <QByteArray>
#include <QList>
#include <QPushButton>

namespace {

const QString kTextFilter = QStringLiteral("Texto (*.txt);;Todos los archivos (*)");
const QString kCsvFilter = QStringLiteral("CSV (*.csv);;Todos los archivos (*)");

} // namespace

void ServerFrm::installViewActions(AskSavePath ask)
{
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
        auto* clearing = new QAction(QStringLiteral("Limpiar"), pane);
        connect(clearing, &QAction::triggered, pane, clear);
        actions->addMenuGroup({clearing});
    };
    offerPane(m_ui->Text3, QStringLiteral("servidor.txt"), [pane = m_ui->Text3] { pane->clear(); });
    offerPane(m_ui->Text4, QStringLiteral("cliente.txt"), [pane = m_ui->Text4] { pane->clear(); });
    offerPane(m_ui->Text2, QStringLiteral("serie.txt"),
              [button = m_ui->Command6] { button->click(); });
    // The list saves what it shows: the rows since its last "Limpiar lista".
    installCodeListActions(*m_ui->ListView1, *m_codeList,
                           {QStringLiteral("sesion.csv"), kCsvFilter,
                            [this] {
                                return sessionCsvContent(
                                    sessionSource(m_record->snapshot(), m_codeList->firstRow()));
                            }},
                           std::move(ask), *m_messages);
}
