#include "record/Link.h"

QString linkName(Link link)
{
    switch (link) {
    case Link::Server:
        return QStringLiteral("Servidor");
    case Link::Client:
        return QStringLiteral("Cliente");
    case Link::Serial:
        return QStringLiteral("Serie");
    case Link::Unknown:
        break;
    }
    return {};
}
