#include "record/SessionSaveBinding.h"

#include <algorithm>

PaneSource paneSource(const SessionRecord::Snapshot& snapshot, Pane pane)
{
    return {snapshot.paneSize(pane),
            [snapshot, pane](const std::function<bool(QByteArrayView)>& visit) {
                return snapshot.forEachPaneSpan(pane, visit);
            }};
}

SessionSource sessionSource(const SessionRecord::Snapshot& snapshot, qint64 fromRow)
{
    fromRow = std::clamp<qint64>(fromRow, 0, snapshot.codeRowCount());
    return {snapshot.codeRowCount() - fromRow,
            [snapshot, fromRow](const std::function<bool(const SavedRow&)>& visit) {
                return snapshot.forEachCodeRow(
                    [&visit](const CodeRowEntry& row) {
                        return visit({row.msecsSinceEpoch, row.link, row.bytes});
                    },
                    fromRow);
            }};
}
