#include "codes/CodeListAccessible.h"

#include "codes/CodeListView.h"

#include <QAbstractItemModel>
#include <QAccessibleWidget>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>
#include <QWindow>

// The rows are reached only through the view's model and selection model, so this reads what
// the view shows however the rows are stored.

namespace {

class CodeListAccessible;

// One row of the list. Rows are only ever appended, so a row's number names it for the life of
// the model; a reset or removal drops every row interface (see CodeListAccessible::forgetRows).
class CodeRowAccessible final : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    CodeRowAccessible(CodeListView* view, int row)
        : m_view(view)
        , m_row(row)
    {
    }

    int row() const { return m_row; }

    bool isValid() const override
    {
        return m_view && m_view->model() && m_row < m_view->model()->rowCount(m_view->rootIndex());
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_view ? m_view->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_view.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !isValid())
            return {};
        return index().data(Qt::DisplayRole).toString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QAccessible::Role role() const override { return QAccessible::ListItem; }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect local = m_view->visualRect(index());
        return {m_view->viewport()->mapToGlobal(local.topLeft()), local.size()};
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.focusable = true;
        if (const QItemSelectionModel* selection = m_view->selectionModel()) {
            s.selected = selection->isSelected(index());
            s.focused = selection->currentIndex() == index();
        }
        const QRect shown(m_view->viewport()->mapToGlobal(QPoint(0, 0)),
                          m_view->viewport()->size());
        if (!shown.intersects(rect()))
            s.invisible = s.offscreen = true;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface*>(this);
        return nullptr;
    }

    // QAccessibleTableCellInterface
    bool isSelected() const override { return state().selected; }
    QList<QAccessibleInterface*> columnHeaderCells() const override { return {}; }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return 0; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

private:
    QModelIndex index() const { return m_view->model()->index(m_row, 0, m_view->rootIndex()); }

    QPointer<CodeListView> m_view;
    int m_row;
};

class CodeListAccessible final : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit CodeListAccessible(CodeListView* view)
        : QAccessibleWidget(view, QAccessible::List)
    {
        follow();
    }

    ~CodeListAccessible() override
    {
        unfollow();
        forgetRows();
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    // The rows are the children; the header, the viewport and the scroll bars are not.
    int childCount() const override { return rowCount(); }
    QAccessibleInterface* child(int index) const override { return rowInterface(index); }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        QAccessibleTableCellInterface* cell =
            child ? const_cast<QAccessibleInterface*>(child)->tableCellInterface() : nullptr;
        if (!cell)
            return -1;
        const int row = cell->rowIndex();
        return QAccessible::accessibleInterface(m_rows.value(row)) == child ? row : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        const QPoint local = view()->viewport()->mapFromGlobal(QPoint(x, y));
        const QModelIndex index = view()->indexAt(local);
        return index.isValid() ? rowInterface(index.row()) : nullptr;
    }
    QAccessibleInterface* focusChild() const override
    {
        const QModelIndex current = view()->currentIndex();
        return current.isValid() ? rowInterface(current.row()) : nullptr;
    }

    // QAccessibleTableInterface
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override
    {
        return column == 0 ? rowInterface(row) : nullptr;
    }
    int selectedCellCount() const override { return int(selectedRows().size()); }
    QList<QAccessibleInterface*> selectedCells() const override
    {
        QList<QAccessibleInterface*> cells;
        for (const int row : selectedRows())
            cells << rowInterface(row);
        return cells;
    }
    QString columnDescription(int column) const override
    {
        return view()->header()->model()->headerData(column, Qt::Horizontal).toString();
    }
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return int(selectedRows().size()); }
    int columnCount() const override { return 1; }
    int rowCount() const override
    {
        return view()->model() ? view()->model()->rowCount(view()->rootIndex()) : 0;
    }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override
    {
        QList<int> rows;
        if (const QItemSelectionModel* selection = view()->selectionModel()) {
            for (const QModelIndex& index : selection->selectedRows())
                rows << index.row();
        }
        return rows;
    }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override { return selectedRows().contains(row); }
    bool selectRow(int row) override
    {
        const QModelIndex index = rowIndex(row);
        if (!index.isValid())
            return false;
        view()->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                             QItemSelectionModel::Rows);
        return true;
    }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override
    {
        const QModelIndex index = rowIndex(row);
        if (!index.isValid())
            return false;
        view()->selectionModel()->select(index,
                                         QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        return true;
    }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override
    {
        // Rows appended at the end leave every row's number as it was; anything else may
        // renumber them.
        const bool appended =
            event->modelChangeType() == QAccessibleTableModelChangeEvent::RowsInserted &&
            event->lastRow() == rowCount() - 1;
        if (!appended)
            forgetRows();
    }

private:
    CodeListView* view() const { return static_cast<CodeListView*>(widget()); }

    QModelIndex rowIndex(int row) const
    {
        return view()->model() && view()->selectionModel()
                   ? view()->model()->index(row, 0, view()->rootIndex())
                   : QModelIndex();
    }

    QAccessibleInterface* rowInterface(int row) const
    {
        follow();
        if (row < 0 || row >= rowCount())
            return nullptr;
        if (const auto known = m_rows.constFind(row); known != m_rows.cend())
            return QAccessible::accessibleInterface(*known);
        auto* cell = new CodeRowAccessible(view(), row);
        m_rows.insert(row, QAccessible::registerAccessibleInterface(cell));
        return cell;
    }

    void forgetRows() const
    {
        for (const QAccessible::Id id : std::as_const(m_rows))
            QAccessible::deleteAccessibleInterface(id);
        m_rows.clear();
    }

    void tell(QAccessible::Event type, int row) const
    {
        if (!QAccessible::isActive())
            return;
        QAccessibleEvent event(view(), type);
        event.setChild(row);
        QAccessible::updateAccessibility(&event);
    }

    // Keeps up with the view's model and selection model, whichever they are now.
    void follow() const
    {
        if (view()->model() == m_model && view()->selectionModel() == m_selection)
            return;
        unfollow();
        forgetRows();
        m_model = view()->model();
        m_selection = view()->selectionModel();
        CodeListView* list = view();
        if (m_model) {
            const auto renumbered = [this, list] {
                forgetRows();
                if (QAccessible::isActive()) {
                    QAccessibleTableModelChangeEvent event(
                        list, QAccessibleTableModelChangeEvent::ModelReset);
                    QAccessible::updateAccessibility(&event);
                }
            };
            m_connections
                << QObject::connect(m_model, &QAbstractItemModel::modelReset, list, renumbered)
                << QObject::connect(m_model, &QAbstractItemModel::rowsRemoved, list, renumbered)
                << QObject::connect(m_model, &QAbstractItemModel::layoutChanged, list, renumbered)
                << QObject::connect(m_model, &QAbstractItemModel::rowsInserted, list,
                                    [list](const QModelIndex&, int first, int last) {
                                        if (!QAccessible::isActive())
                                            return;
                                        QAccessibleTableModelChangeEvent event(
                                            list, QAccessibleTableModelChangeEvent::RowsInserted);
                                        event.setFirstRow(first);
                                        event.setLastRow(last);
                                        QAccessible::updateAccessibility(&event);
                                    });
        }
        if (m_selection) {
            m_connections << QObject::connect(m_selection, &QItemSelectionModel::currentChanged,
                                              list,
                                              [this, list](const QModelIndex& current) {
                                                  if (current.isValid() && list->hasFocus())
                                                      tell(QAccessible::Focus, current.row());
                                              })
                          << QObject::connect(
                                 m_selection, &QItemSelectionModel::selectionChanged, list,
                                 [this](const QItemSelection& selected,
                                        const QItemSelection& deselected) {
                                     for (const QModelIndex& index : deselected.indexes())
                                         tell(QAccessible::SelectionRemove, index.row());
                                     for (const QModelIndex& index : selected.indexes())
                                         tell(QAccessible::Selection, index.row());
                                 });
        }
    }

    void unfollow() const
    {
        for (const QMetaObject::Connection& connection : std::as_const(m_connections))
            QObject::disconnect(connection);
        m_connections.clear();
    }

    mutable QPointer<QAbstractItemModel> m_model;
    mutable QPointer<QItemSelectionModel> m_selection;
    mutable QList<QMetaObject::Connection> m_connections;
    // Row number -> its registered interface, made when first asked for.
    mutable QHash<int, QAccessible::Id> m_rows;
};

QAccessibleInterface* codeListFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("CodeListView") && object && object->isWidgetType())
        return new CodeListAccessible(static_cast<CodeListView*>(object));
    return nullptr;
}

} // namespace

void installCodeListAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(codeListFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
