#include "platform/SessionSaveBinding.h"

namespace {

SavedLink savedLink(Link link)
{
    switch (link) {
    case Link::Server:
        return SavedLink::Server;
    case Link::Client:
        return SavedLink::Client;
    case Link::Serial:
        return SavedLink::Serial;
    case Link::Unknown:
        break;
    }
    return SavedLink::Unknown;
}

} // namespace

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
                    return visit({row.msecsSinceEpoch, savedLink(row.link), row.bytes});
                });
            }};
}
