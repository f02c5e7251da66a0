#include "codes/CodeListActions.h"

#include "base/OperatorMessages.h"
#include "codes/CodeList.h"
#include "codes/CodeListView.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>

#include <algorithm>
#include <utility>

namespace {

// Returns false, copying nothing, when the text would pass limit characters.
bool copySelectedRows(CodeListView& list, qsizetype limit)
{
    const QItemSelectionModel* selection = list.selectionModel();
    if (!list.model() || !selection)
        return true;
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
            if (text.size() > limit)
                return false;
        }
    }
    if (!first)
        QApplication::clipboard()->setText(text);
    return true;
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

ViewActions* installCodeListActions(CodeListView& view, CodeList& list, SaveOffer offer,
                                    AskSavePath ask, OperatorMessages& messages)
{
    ViewActions::Editing editing{
        [&view](qsizetype limit) { return copySelectedRows(view, limit); },
        [&view] { return view.selectionModel() && view.selectionModel()->hasSelection(); },
        [&view] { selectAllRows(view); },
        [&view] { return view.model() && view.model()->rowCount() > 0; },
    };
    auto* actions =
        new ViewActions(view, std::move(editing), std::move(offer), std::move(ask), messages);

    auto* bases = new QActionGroup(&view);
    bases->setExclusive(true);
    QList<QAction*> baseChoices;
    for (const auto& [text, base] :
         {std::pair{QStringLiteral("Decimal"), CodeBase::Decimal},
          std::pair{QStringLiteral("Hexadecimal"), CodeBase::Hexadecimal}}) {
        auto* choice = new QAction(text, bases);
        choice->setCheckable(true);
        choice->setChecked(list.codeBase() == base);
        QObject::connect(choice, &QAction::triggered, &view,
                         [&list, base = base] { list.setCodeBase(base); });
        baseChoices << choice;
    }
    auto* grouping = new QAction(QStringLiteral("Agrupar la serie por línea"), &view);
    grouping->setCheckable(true);
    QObject::connect(grouping, &QAction::toggled, &view,
                     [&list](bool grouped) { list.setGroupedByLine(grouped); });
    actions->addMenuGroup(baseChoices << grouping);

    actions->addMenuGroup(makeTimeChoices(&view, [&view, &list](bool shown, bool relative) {
        list.setTimes(!shown     ? PaneTimes::Mode::Hidden
                      : relative ? PaneTimes::Mode::Relative
                                 : PaneTimes::Mode::Clock);
        view.setTimeColumn(shown);
    }));

    auto* clear = new QAction(QStringLiteral("Limpiar lista"), &view);
    QObject::connect(clear, &QAction::triggered, &view, [&list] { list.clear(); });
    actions->addMenuGroup({clear});
    return actions;
}
