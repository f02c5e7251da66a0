#include "app/SentHistory.h"

void SentHistory::record(const QString& sent)
{
    stopWalking();
    if (sent.isEmpty() || (!m_texts.empty() && m_texts.front() == sent))
        return;
    m_texts.push_front(sent);
    if (m_texts.size() > kCapacity)
        m_texts.pop_back();
}

std::optional<QString> SentHistory::older(const QString& shown)
{
    if (std::size_t(m_position + 1) >= m_texts.size())
        return std::nullopt;
    if (m_position == kNotWalking)
        m_typed = shown;
    ++m_position;
    return m_texts[std::size_t(m_position)];
}

std::optional<QString> SentHistory::newer()
{
    if (m_position == kNotWalking)
        return std::nullopt;
    --m_position;
    if (m_position == kNotWalking)
        return m_typed;
    return m_texts[std::size_t(m_position)];
}
