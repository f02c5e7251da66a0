#include "support/ByteSamples.h"

#include "app/ServerFrm.h"
#include "base/SingleByteCodec.h"
#include "codes/CodeList.h"

QByteArray allByteValues()
{
    QByteArray all(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b)
        all[b] = char(b);
    return all;
}

QString allByteValuesText()
{
    return SingleByteCodec::toText(allByteValues());
}

QByteArray varied(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char((i * 131 + i / 251) % 256);
    return data;
}

QByteArray rowsJoined(ServerFrm& window, qint64 fromRow)
{
    QByteArray joined;
    for (qint64 row = fromRow; row < window.codeList().rowCount(); ++row)
        joined += window.codeList().rows().bytes(row);
    return joined;
}

QByteArray chunksLogged(ServerFrm& window, const QByteArray& prefix, qint64 fromRow)
{
    QByteArray log;
    for (qint64 row = fromRow; row < window.codeList().rowCount(); ++row)
        log += prefix + window.codeList().rows().bytes(row) + "\r\n";
    return log;
}
