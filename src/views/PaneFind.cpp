#include "views/FindBar.h"

#include "views/LogPane.h"

FindBar* installPaneFind(LogPane& pane)
{
    const auto prepare = [&pane](const QByteArray& needle, RecordSearch::Direction direction) {
        // From the current match on: the next one starts past its start, the previous one
        // before it.
        const qint64 start = pane.selStart();
        const qint64 from =
            direction == RecordSearch::Direction::Next && pane.selLength() > 0 ? start + 1 : start;
        return FindJob([snapshot = pane.record().snapshot(), link = pane.link(), needle, from,
                        direction,
                        target = QPointer<LogPane>(&pane)](const std::atomic<bool>& cancelled) {
            const RecordSearch::PaneMatch match =
                RecordSearch::findInPane(snapshot, link, needle, from, direction, cancelled);
            FindOutcome outcome;
            outcome.found = match.position >= 0;
            outcome.link = link;
            outcome.msecsSinceEpoch = match.row.msecsSinceEpoch;
            outcome.select = [target, position = match.position, length = needle.size()] {
                // A "Limpiar" meanwhile leaves nothing to select there.
                if (!target || position + length > target->length())
                    return;
                target->setSelStart(position);
                target->setSelLength(length);
            };
            return outcome;
        });
    };
    return new FindBar(pane, prepare);
}
