#pragma once

#include <QAbstractSocket>
#include <QString>

#include <cstdint>

// How socket failures are told: the numbers operators know them by (the error event's
// Number) and the Spanish descriptions that name the host and port involved, for the
// "*** Error : " lines and "Error : " messages.

std::int16_t errorNumber(QAbstractSocket::SocketError error);

// detail: Qt's own wording, added where no plainer one is known.
QString describe(QAbstractSocket::SocketError error, const QString& host, int port,
                 const QString& detail);

// A peer that reset the connection instead of closing it.
QString resetDescription(const QString& peer);
