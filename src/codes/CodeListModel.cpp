#include "codes/CodeListModel.h"

#include "codes/LineGroups.h"

#include <climits>

CodeListModel::CodeListModel(SessionRecord& record, QObject* parent)
    : QAbstractListModel(parent)
    , m_record(record)
    , m_rows(record, kShownCodes + 1)
{
}

CodeListModel::~CodeListModel() = default;

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
    if (m_groups)
        m_groups = std::make_unique<LineGroups>(m_rows, m_first);
    endResetModel();
}

void CodeListModel::setGroupedByLine(bool grouped)
{
    if (grouped == groupedByLine())
        return;
    beginResetModel();
    m_groups = grouped ? std::make_unique<LineGroups>(m_rows, m_first) : nullptr;
    m_published = 0;
    endResetModel();
    publish();
}

std::pair<qint64, qint64> CodeListModel::recordRows(int shown) const
{
    if (m_groups)
        return m_groups->rowsOf(shown);
    return {m_first + shown, m_first + shown + 1};
}

QByteArray CodeListModel::shownBytes(int shown, qint64 maxBytes) const
{
    const auto [first, end] = recordRows(shown);
    if (end == first + 1)
        return maxBytes < 0 ? m_rows.bytes(first) : m_rows.head(first, maxBytes);
    QByteArray bytes;
    for (qint64 row = first; row < end && (maxBytes < 0 || bytes.size() < maxBytes); ++row)
        bytes += maxBytes < 0 ? m_rows.bytes(row) : m_rows.head(row, maxBytes - bytes.size());
    return bytes;
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

void CodeListModel::setTimes(PaneTimes::Mode mode)
{
    if (mode == m_times)
        return;
    m_times = mode;
    if (m_published > 0)
        emit dataChanged(index(0), index(m_published - 1),
                         {Qt::DisplayRole, Qt::EditRole, kTimeRole});
}

QString CodeListModel::timeOf(int shown) const
{
    const qint64 time = m_rows.msecsSinceEpoch(recordRows(shown).first);
    switch (m_times) {
    case PaneTimes::Mode::Clock:
        return PaneTimes::clockText(time);
    case PaneTimes::Mode::Relative:
        return PaneTimes::sinceText(
            shown == 0 ? 0 : time - m_rows.msecsSinceEpoch(recordRows(shown - 1).first));
    case PaneTimes::Mode::Hidden:
        break;
    }
    return {};
}

void CodeListModel::publish()
{
    qint64 available = m_rows.count() - m_first;
    if (m_groups) {
        const qint64 before = m_groups->count();
        // The newest shown row may take the rows that arrived: it is drawn again.
        if (m_groups->scan(kGroupingRowsPerFrame) && before > 0 && before <= m_published)
            emit dataChanged(index(int(before - 1)), index(int(before - 1)));
        available = m_groups->count();
        // A large record is grouped a slice per frame: the window goes on meanwhile.
        if (!m_groups->scannedAll())
            m_publisher.request();
    }
    // Qt views count rows in int; rows past that stay in the store, readable by copy.
    const int total = int(std::min<qint64>(available, INT_MAX));
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
    const int shown = index.row();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        const QString codes = role == Qt::EditRole ? codeRowText(shownBytes(shown, -1), -1, m_base)
                                                   : codeRowText(shownBytes(shown, kShownCodes + 1),
                                                                 kShownCodes, m_base);
        return m_times == PaneTimes::Mode::Hidden ? codes : timeOf(shown) + u'\t' + codes;
    }
    case kTimeRole:
        return timeOf(shown);
    case kHeadBytesRole:
        return shownBytes(shown, kShownCodes + 1);
    case kCodeBaseRole:
        return int(m_base);
    case Qt::ToolTipRole: {
        const auto [first, end] = recordRows(shown);
        qint64 length = 0;
        for (qint64 row = first; row < end; ++row)
            length += m_rows.length(row);
        return codeRowToolTip(m_rows.link(first), m_rows.msecsSinceEpoch(first),
                              shownBytes(shown, kToolTipBytes + 1), length);
    }
    default:
        return {};
    }
}
