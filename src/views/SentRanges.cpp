#include "views/SentRanges.h"

#include <algorithm>

void SentRanges::add(qint64 from, qint64 to)
{
    if (from >= to)
        return;
    if (!m_ranges.empty() && m_ranges.back().second == from)
        m_ranges.back().second = to;
    else
        m_ranges.emplace_back(from, to);
}

std::vector<SentRanges::Range> SentRanges::within(qint64 from, qint64 to) const
{
    std::vector<Range> found;
    // The first run that ends after `from`.
    auto it = std::upper_bound(
        m_ranges.begin(), m_ranges.end(), from,
        [](qint64 position, const Range& range) { return position < range.second; });
    for (; it != m_ranges.end() && it->first < to; ++it)
        found.emplace_back(std::max(it->first, from), std::min(it->second, to));
    return found;
}

SentRanges::Run SentRanges::runAt(qint64 position, qint64 end) const
{
    auto it = std::upper_bound(m_ranges.begin(), m_ranges.end(), position,
                               [](qint64 at, const Range& range) { return at < range.second; });
    if (it != m_ranges.end() && it->first <= position)
        return {it->first, it->second, true};
    const qint64 from = it == m_ranges.begin() ? 0 : std::prev(it)->second;
    const qint64 to = it == m_ranges.end() ? std::max(end, position) : it->first;
    return {from, to, false};
}
