#include "codes/CodeListModel.h"

#include <climits>

CodeListModel::CodeListModel(SessionRecord& record, QObject* parent)
    : QAbstractListModel(parent)
    , m_record(record)
    , m_rows(record)
{
}

void CodeListModel::append(QByteArrayView chunk)
{
    m_record.addCodeRow(chunk);
    m_publisher.request();
}

void CodeListModel::clear()
{
    beginResetModel();
    m_first = m_rows.count();
    m_published = 0;
    endResetModel();
}

void CodeListModel::setCodeBase(CodeBase base)
{
    if (base == m_base)
        return;
    m_base = base;
    if (m_published > 0)
        emit dataChanged(index(0), index(m_published - 1),
                         {Qt::DisplayRole, Qt::EditRole, kCodeBaseRole});
}

void CodeListModel::publish()
{
    // Qt views count rows in int; rows past that stay in the store, readable by copy.
    const int total = int(std::min<qint64>(m_rows.count() - m_first, INT_MAX));
    if (total <= m_published)
        return;
    beginInsertRows({}, m_published, total - 1);
    m_published = total;
    endInsertRows();
}

int CodeListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_published;
}

QVariant CodeListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_published)
        return {};
    const qint64 row = m_first + index.row();
    switch (role) {
    case Qt::DisplayRole:
        return codeRowText(m_rows.head(row, kShownCodes + 1), kShownCodes, m_base);
    case Qt::EditRole:
        return codeRowText(m_rows.bytes(row), -1, m_base);
    case kHeadBytesRole:
        return m_rows.head(row, kShownCodes + 1);
    case kCodeBaseRole:
        return int(m_base);
    case Qt::ToolTipRole:
        return codeRowToolTip(m_rows.link(row), m_rows.msecsSinceEpoch(row),
                              m_rows.head(row, kToolTipBytes + 1), m_rows.length(row));
    default:
        return {};
    }
}
