#pragma once

#include <QString>

#include <deque>
#include <optional>

// The texts sent from one outgoing box in this session, walked as a shell walks its history:
// the newest first, at most kCapacity of them, a text sent twice running kept once. On the
// first step back it keeps what was being typed, and gives it back after the newest.
//
// Texts are kept as the box showed them, control pictures included, so that a recalled text
// shows and sends exactly as it did. It knows no widget: OutgoingBox hands it the box's keys.
class SentHistory {
public:
    static constexpr std::size_t kCapacity = 100;

    // A text that went out. Empty texts are not kept. Ends any walk.
    void record(const QString& sent);

    // One step back (Up), given what the box shows now; nothing when there is no older text.
    std::optional<QString> older(const QString& shown);
    // One step forward (Down); past the newest, what was being typed. Nothing when not walking.
    std::optional<QString> newer();
    // The box was changed otherwise (typing, "Chr"): the next step back starts from the newest
    // again, from what the box then holds.
    void stopWalking() { m_position = kNotWalking; }

    std::size_t size() const { return m_texts.size(); }

private:
    static constexpr std::ptrdiff_t kNotWalking = -1;

    std::deque<QString> m_texts; // newest first
    std::ptrdiff_t m_position = kNotWalking;
    QString m_typed;
};
