#pragma once

#include "record/RowColumn.h"
#include "record/SealedBlock.h"

#include <QByteArrayView>

#include <memory>
#include <vector>

namespace record_detail {

// The few sealed blocks the views read last, decompressed, and the rows of the last row
// blocks, decoded; on the window's thread only.
class BlockCache {
public:
    QByteArrayView load(const std::shared_ptr<const SealedBlock>& block);
    const std::vector<RowEntry>& rows(const std::shared_ptr<const RowBlock>& block);

private:
    static constexpr std::size_t kSlots = 4;
    static constexpr std::size_t kRowSlots = 2;
    struct Slot {
        std::shared_ptr<const SealedBlock> block;
        BlockContents contents;
        quint64 used = 0;
    };
    struct RowSlot {
        std::shared_ptr<const RowBlock> block;
        std::vector<RowEntry> rows;
        quint64 used = 0;
    };
    std::vector<Slot> m_slots;
    std::vector<RowSlot> m_rowSlots;
    quint64 m_clock = 0;
};

} // namespace record_detail
