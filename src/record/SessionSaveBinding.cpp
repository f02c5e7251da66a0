#include "record/SessionSaveBinding.h"

#include <algorithm>

PaneSource paneSource(const RecordSnapshot& snapshot, Link link)
{
    return {snapshot.paneSize(link),
            [snapshot, link](const std::function<bool(QByteArrayView)>& visit) {
                return snapshot.forEachPaneSpan(link, visit);
            }};
}

SessionSource sessionSource(const RecordSnapshot& snapshot, qint64 fromRow)
{
    fromRow = std::clamp<qint64>(fromRow, 0, snapshot.codeRowCount());
    return {snapshot.codeRowCount() - fromRow,
            [snapshot, fromRow](const std::function<bool(const CodeRowEntry&)>& visit) {
                return snapshot.forEachCodeRow(visit, fromRow);
            }};
}
