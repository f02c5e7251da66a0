#pragma once

#include "views/StateLight.h"

#include <QString>

class SocketControl;

// What a socket is doing, in the operator's words.

// The line a pane gets when its socket is closed while live, by a change of transport or by a
// reopen that then fails: "*** Desconectado" for a connection, or an attempt at one; "***
// Dejó de escuchar en el puerto 6000 (TCP)" for a listener, "(UDP)" for a bound datagram
// socket. Empty when nothing was live: then nothing is written.
QString closingLine(const SocketControl& socket);

// The "SERVER" frame's lamp: Winsock1 under TCP; under UDP the datagram socket that its
// "Poner a la escucha" binds, Winsock2.
LightState serverLightState(const SocketControl& winsock1, const SocketControl& winsock2);
// The "CLIENTE" frame's lamp: Winsock2, a connection under TCP, the datagram socket under UDP
// (which the server frame's lamp shows too: under UDP both frames use it).
// While the connection is being made again by itself (reconnecting), amber whenever it is
// not up.
LightState clientLightState(const SocketControl& winsock2, bool reconnecting = false);
