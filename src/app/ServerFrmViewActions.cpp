#include "app/ServerFrm.h"

#include "codes/CodeList.h"
#include "codes/CodeListActions.h"
#include "codes/CodeListView.h"
#include "codes/SessionCsv.h"
#include "platform/LogPane.h"

#include <QByteArray>
#include <QList>

namespace {

const QString kTextFilter = QStringLiteral("Texto (*.txt);;Todos los archivos (*)");
const QString kCsvFilter = QStringLiteral("CSV (*.csv);;Todos los archivos (*)");

// A pane's text as it is now, for the saving thread: a shared copy the views never change.
PaneSource paneSourceOf(const LogPane& pane)
{
    const QByteArray bytes = pane.bytes();
    return {
        bytes.size(), [bytes](const std::function<bool(QByteArrayView)>& visit) {
            constexpr qsizetype kPiece = qsizetype(1) << 20;
            for (qsizetype at = 0; at < bytes.size(); at += kPiece) {
                if (!visit(QByteArrayView(bytes).sliced(at, std::min(kPiece, bytes.size() - at))))
                    return false;
            }
            return true;
        }};
}

// The received chunks as they are now. The list keeps neither link nor time of arrival, so
// those columns stay empty.
SessionSource sessionSourceOf(const CodeList& list)
{
    QByteArray bytes;
    QList<qsizetype> ends;
    const CodeRows& rows = list.rows();
    ends.reserve(rows.count());
    for (qint64 row = 0; row < rows.count(); ++row) {
        bytes += rows.bytes(row);
        ends.append(bytes.size());
    }
    return {rows.count(), [bytes, ends](const std::function<bool(const SavedRow&)>& visit) {
                qsizetype start = 0;
                for (const qsizetype end : ends) {
                    if (!visit({SavedRow::kNoTime, SavedLink::Unknown,
                                QByteArrayView(bytes).sliced(start, end - start)}))
                        return false;
                    start = end;
                }
                return true;
            }};
}

} // namespace

void ServerFrm::installViewActions(AskSavePath ask)
{
    const auto offerPane = [this, &ask](LogPane* pane, const QString& name) {
        installPaneActions(*pane,
                           {name, kTextFilter,
                            [pane] {
                                return paneContent(paneSourceOf(*pane));
                            }},
                           ask, *m_messages);
    };
    offerPane(Text3, QStringLiteral("servidor.txt"));
    offerPane(Text4, QStringLiteral("cliente.txt"));
    offerPane(Text2, QStringLiteral("serie.txt"));
    const CodeList* list = m_codeList.get();
    installCodeListActions(*ListView1,
                           {QStringLiteral("sesion.csv"), kCsvFilter,
                            [list] {
                                return sessionCsvContent(sessionSourceOf(*list));
                            }},
                           std::move(ask), *m_messages);
}
