#pragma once

#include <QByteArray>
#include <QString>

class ServerFrm;

// Every byte value once, 0 to 255 in order: the one sample that shows a byte lost to a codec.
QByteArray allByteValues();
// The same, as the text the window holds for it.
QString allByteValuesText();
// Bytes of every value in an order that repeats only after tens of kilobytes, so that a chunk
// lost, doubled or moved shows.
QByteArray varied(qsizetype size);

// What the code list holds from a row on: the received chunks, joined.
QByteArray rowsJoined(ServerFrm& window, qint64 fromRow = 0);
// The same chunks as a log pane shows them: each after its prefix, on its own line.
QByteArray chunksLogged(ServerFrm& window, const QByteArray& prefix, qint64 fromRow = 0);
