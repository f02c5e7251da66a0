#include "app/ServerFrm.h"

#include "codes/CodeList.h"
#include "codes/CodeListActions.h"
#include "codes/CodeListView.h"
#include "codes/SessionCsv.h"
#include "platform/LogPane.h"
#include "platform/SessionSaveBinding.h"

#include <QByteArray>
#include <QList>

namespace {

const QString kTextFilter = QStringLiteral("Texto (*.txt);;Todos los archivos (*)");
const QString kCsvFilter = QStringLiteral("CSV (*.csv);;Todos los archivos (*)");

} // namespace

void ServerFrm::installViewActions(AskSavePath ask)
{
    const auto offerPane = [this, &ask](LogPane* pane, const QString& name) {
        installPaneActions(*pane,
                           {name, kTextFilter,
                            [this, pane] {
                                return paneContent(paneSource(m_record->snapshot(), pane->pane()));
                            }},
                           ask, *m_messages);
    };
    offerPane(Text3, QStringLiteral("servidor.txt"));
    offerPane(Text4, QStringLiteral("cliente.txt"));
    offerPane(Text2, QStringLiteral("serie.txt"));
    installCodeListActions(*ListView1,
                           {QStringLiteral("sesion.csv"), kCsvFilter,
                            [this] {
                                return sessionCsvContent(sessionSource(m_record->snapshot()));
                            }},
                           std::move(ask), *m_messages);
}
