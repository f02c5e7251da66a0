#include "net/DatagramSocket.h"

std::unique_ptr<DatagramSocket> DatagramSocket::bind(quint16 port, QAbstractSocket::BindMode mode,
                                                     int receiveBuffer, Failure& failure)
{
#if defined(Q_OS_UNIX) && !defined(QUORVANE_PORTABLE)
    return bindNativeDatagramSocket(port, mode, receiveBuffer, failure);
#else
    return bindThreadedDatagramSocket(port, mode, receiveBuffer, failure);
#endif
}
