#include "record/BlockCache.h"

#include <algorithm>

namespace record_detail {

namespace {

// The slot that holds key, or the one to fill with it (a free one, else the least recently
// used); whether it already holds it.
template <typename Slots, typename Key>
std::pair<typename Slots::value_type*, bool> slotFor(Slots& cache, std::size_t most, const Key& key)
{
    for (auto& slot : cache) {
        if (slot.block == key)
            return {&slot, true};
    }
    if (cache.size() < most)
        return {&cache.emplace_back(), false};
    return {&*std::min_element(cache.begin(), cache.end(),
                               [](const auto& a, const auto& b) { return a.used < b.used; }),
            false};
}

} // namespace

QByteArrayView BlockCache::load(const std::shared_ptr<const SealedBlock>& block)
{
    const auto [slot, held] = slotFor(m_slots, kSlots, block);
    if (!held) {
        slot->block = block;
        slot->contents = block->load();
    }
    slot->used = ++m_clock;
    return slot->contents.view();
}

const std::vector<RowEntry>& BlockCache::rows(const std::shared_ptr<const RowBlock>& block)
{
    const auto [slot, held] = slotFor(m_rowSlots, kRowSlots, block);
    if (!held) {
        slot->block = block;
        slot->rows = decodeRows(*block);
    }
    slot->used = ++m_clock;
    return slot->rows;
}

} // namespace record_detail
