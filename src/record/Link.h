#pragma once

#include <QString>

#include <cstddef>

// The link a received chunk came by, which is also the log pane that shows what the link logs:
// Text3 for the server, Text4 for the client (and UDP), Text2 for the serial port. A chunk that
// no pane showed has no known link.
enum class Link { Server, Client, Serial, Unknown };

// The link as the list, the find bar and the saved session name it: "Servidor", "Cliente",
// "Serie"; empty when not known.
QString linkName(Link link);

namespace record_detail {
// The record keeps one stream per value of Link: the three panes' and the one of chunks that
// no pane showed.
inline constexpr std::size_t kStreamCount = 4;
} // namespace record_detail
