#pragma once

#include <QString>

class SocketControl;

// What a socket is doing, in the operator's words.

// The line a pane gets when its socket is closed while live, by a change of transport or by a
// reopen that then fails: "*** Desconectado" for a connection, or an attempt at one; "***
// Dejó de escuchar en el puerto 6000 (TCP)" for a listener, "(UDP)" for a bound datagram
// socket. Empty when nothing was live: then nothing is written.
QString closingLine(const SocketControl& socket);

