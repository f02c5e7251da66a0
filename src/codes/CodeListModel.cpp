#include "codes/CodeListModel.h"

#include <climits>

CodeListModel::CodeListModel(QObject* parent)
    : QAbstractListModel(parent)
{
}

void CodeListModel::append(QByteArrayView chunk)
{
    m_rows.append(chunk);
    m_publisher.request();
}

void CodeListModel::publish()
{
    // Qt views count rows in int; rows past that stay in the store, readable by copy.
    const int total = int(std::min<qint64>(m_rows.count(), INT_MAX));
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
    if (role == Qt::DisplayRole)
        return codeRowText(m_rows.head(index.row(), kShownCodes + 1), kShownCodes);
    if (role == Qt::EditRole)
        return codeRowText(m_rows.bytes(index.row()));
    if (role == kHeadBytesRole)
        return m_rows.head(index.row(), kShownCodes + 1);
    return {};
}
