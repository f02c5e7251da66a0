#include "platform/SessionSaveBinding.h"

PaneSource paneSource(const SessionRecord::Snapshot& snapshot, Pane pane)
{
    return {snapshot.paneSize(pane),
            [snapshot, pane](const std::function<bool(QByteArrayView)>& visit) {
                return snapshot.forEachPaneSpan(pane, visit);
            }};
}

SessionSource sessionSource(const SessionRecord::Snapshot& snapshot)
{
    return {snapshot.codeRowCount(), [snapshot](const std::function<bool(const SavedRow&)>& visit) {
                return snapshot.forEachCodeRow([&visit](const CodeRowEntry& row) {
                    return visit({row.msecsSinceEpoch, row.link, row.bytes});
                });
            }};
}
