#include "net/SocketFailures.h"

#include "base/ControlError.h"

std::int16_t errorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return 10061;
    case QAbstractSocket::RemoteHostClosedError:
        return 10054;
    case QAbstractSocket::HostNotFoundError:
        return 11001;
    case QAbstractSocket::SocketAccessError:
        return 10013;
    case QAbstractSocket::SocketTimeoutError:
        return 10060;
    case QAbstractSocket::AddressInUseError:
        return 10048;
    case QAbstractSocket::DatagramTooLargeError:
        return 10040;
    case QAbstractSocket::NetworkError:
        return 10050;
    default:
        return 10000;
    }
}

QString describe(QAbstractSocket::SocketError error, const QString& host, int port,
                 const QString& detail)
{
    // One arg() call for all values: a value holding "%2" (an IPv6 scope) is never read again.
    const QString portText = QString::number(port);
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral(
                   "El equipo %1 rechazó la conexión en el puerto %2: nadie escucha en él.")
            .arg(host, portText);
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("El equipo %1 cortó la conexión.").arg(host);
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("No se encontró el equipo %1.").arg(quoted(host));
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral(
                   "No hay permiso para usar el puerto %1 (los puertos por debajo de 1024 "
                   "solo los puede abrir el administrador).")
            .arg(portText);
    case QAbstractSocket::SocketResourceError:
        return QStringLiteral("El sistema no tiene recursos para abrir otro socket.");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("El equipo %1 no respondió en el puerto %2.").arg(host, portText);
    case QAbstractSocket::AddressInUseError:
        return QStringLiteral("El puerto %1 ya está en uso: otro programa, u otro socket de esta "
                              "ventana, lo ocupa.")
            .arg(portText);
    case QAbstractSocket::SocketAddressNotAvailableError:
        return QStringLiteral("La dirección local para el puerto %1 no existe en este equipo.")
            .arg(portText);
    case QAbstractSocket::DatagramTooLargeError:
        return QStringLiteral("El datagrama para %1, puerto %2, es demasiado grande para la red.")
            .arg(host, portText);
    case QAbstractSocket::NetworkError:
        return QStringLiteral("Falla de la red al comunicarse con %1, puerto %2 (%3).")
            .arg(host, portText, detail);
    default:
        return QStringLiteral("Falla del socket con %1, puerto %2 (%3).")
            .arg(host, portText, detail);
    }
}

QString resetDescription(const QString& peer)
{
    return QStringLiteral("El equipo %1 cortó la conexión de golpe (envió un RST en vez de "
                          "cerrarla): lo que aún enviaba se perdió en el camino.")
        .arg(peer);
}
