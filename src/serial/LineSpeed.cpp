#include "serial/LineSpeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cstring>

long long linuxOutputSpeed(int descriptor)
{
    termios2 line{};
    if (::ioctl(descriptor, TCGETS2, &line) != 0)
        return -1;
    return line.c_ospeed;
}

QByteArray linuxTerminal(int descriptor)
{
    termios2 line{};
    if (::ioctl(descriptor, TCGETS2, &line) != 0)
        return QByteArray();
    return QByteArray(reinterpret_cast<const char*>(&line), sizeof line);
}

bool setLinuxTerminal(int descriptor, const QByteArray& settings)
{
    termios2 line{};
    if (settings.size() != qsizetype(sizeof line))
        return false;
    std::memcpy(&line, settings.constData(), sizeof line);
    return ::ioctl(descriptor, TCSETS2, &line) == 0;
}
