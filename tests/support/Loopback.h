#pragma once

#include <QtGlobal>

// A port nothing listens on right now, found by letting the system pick one.
quint16 freeTcpPort();
quint16 freeUdpPort();
