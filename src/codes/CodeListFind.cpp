#include "codes/CodeListFind.h"

#include "codes/CodeList.h"
#include "codes/CodeListModel.h"
#include "codes/CodeListView.h"
#include "views/FindBar.h"

#include <QItemSelection>
#include <QItemSelectionModel>

#include <memory>

using RecordSearch::Direction;
using RecordSearch::RowPlace;

FindBar* installCodeListFind(CodeListView& view, const CodeList& list, SessionRecord& record)
{
    // The match last shown: the next search goes on from it while its row is the current one.
    auto last = std::make_shared<RecordSearch::RowsMatch>();
    const auto prepare = [&view, &list, &record, last](const QByteArray& needle,
                                                       Direction direction) {
        const qint64 firstRow = list.firstRow();
        const QModelIndex current = view.currentIndex();
        RowPlace from{firstRow, 0};
        if (last->found && current.isValid() && !last->rows.isEmpty() &&
            last->rows.first() == current.row() + firstRow) {
            from = last->start;
            if (direction == Direction::Next)
                ++from.offset;
        } else if (current.isValid()) {
            from = {current.row() + firstRow, 0};
        }
        return FindJob([snapshot = record.snapshot(), firstRow, needle, from, direction,
                        target = QPointer<CodeListView>(&view),
                        last](const std::atomic<bool>& cancelled) {
            const RecordSearch::RowsMatch match =
                RecordSearch::findInRows(snapshot, firstRow, needle, from, direction, cancelled);
            FindOutcome outcome;
            outcome.found = match.found;
            outcome.link = match.link;
            outcome.msecsSinceEpoch = match.msecsSinceEpoch;
            outcome.select = [target, match, last] {
                *last = match;
                auto* model = target ? qobject_cast<CodeListModel*>(target->model()) : nullptr;
                if (!model)
                    return;
                model->publish(); // rows of the snapshot the view has not heard of yet
                QItemSelection rows;
                for (const qint64 row : match.rows) {
                    const qint64 shown = row - model->firstRow();
                    if (shown >= 0 && shown < model->rowCount())
                        rows.select(model->index(int(shown)), model->index(int(shown)));
                }
                if (rows.isEmpty())
                    return; // "Limpiar lista" took them meanwhile
                target->selectionModel()->setCurrentIndex(rows.first().topLeft(),
                                                          QItemSelectionModel::NoUpdate);
                target->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
                target->scrollTo(rows.first().topLeft());
            };
            return outcome;
        });
    };
    return new FindBar(view, prepare);
}
