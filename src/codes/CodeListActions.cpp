#include "codes/CodeListActions.h"

#include "codes/CodeListView.h"
#include "platform/OperatorMessages.h"

#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>

#include <algorithm>

namespace {

// More text than this (in characters) is not put on the clipboard: a whole busy session
// would take gigabytes there, and saving it is the way to take it away.
constexpr qsizetype kCopyLimit = qsizetype(32) << 20;

void copySelectedRows(CodeListView& list, OperatorMessages& messages)
{
    const QItemSelectionModel* selection = list.selectionModel();
    if (!list.model() || !selection)
        return;
    QItemSelection ranges = selection->selection();
    std::sort(ranges.begin(), ranges.end(),
              [](const auto& a, const auto& b) { return a.top() < b.top(); });
    QString text;
    bool first = true;
    for (const QItemSelectionRange& range : std::as_const(ranges)) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            if (!first)
                text += QStringLiteral("\r\n");
            first = false;
            text += list.model()->index(row, 0).data(Qt::EditRole).toString();
            if (text.size() > kCopyLimit) {
                messages.show(QStringLiteral("La selección es demasiado grande para copiarla: "
                                             "guarde la lista con «Guardar como…»."),
                              MessageIcon::Exclamation);
                return;
            }
        }
    }
    if (!first)
        QApplication::clipboard()->setText(text);
}

void selectAllRows(CodeListView& list)
{
    const int rows = list.model() ? list.model()->rowCount() : 0;
    if (rows == 0 || !list.selectionModel())
        return;
    list.selectionModel()->select(
        QItemSelection(list.model()->index(0, 0), list.model()->index(rows - 1, 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

} // namespace

ViewActions* installCodeListActions(CodeListView& list, SaveOffer offer, AskSavePath ask,
                                    OperatorMessages& messages)
{
    ViewActions::Editing editing{
        [&list, &messages] { copySelectedRows(list, messages); },
        [&list] { return list.selectionModel() && list.selectionModel()->hasSelection(); },
        [&list] { selectAllRows(list); },
        [&list] { return list.model() && list.model()->rowCount() > 0; },
    };
    return new ViewActions(list, std::move(editing), std::move(offer), std::move(ask), messages);
}
