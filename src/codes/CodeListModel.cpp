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
    if (role == Qt::ToolTipRole) {
        const qint64 row = index.row();
        return codeRowToolTip(m_rows.link(row), m_rows.msecsSinceEpoch(row),
                              m_rows.head(row, kToolTipBytes + 1), m_rows.length(row));
    }
    return {};
}
