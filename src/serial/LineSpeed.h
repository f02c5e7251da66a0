#pragma once

#include <QByteArray>

// Linux terminal settings read and written whole, custom speeds included. Kept apart because
// the kernel's terminal header cannot share a file with <termios.h>.

// The output speed a terminal runs, in baud; -1 if it cannot be read.
long long linuxOutputSpeed(int descriptor);
// Every setting of the terminal, as bytes to put back with setLinuxTerminal; empty on failure.
QByteArray linuxTerminal(int descriptor);
bool setLinuxTerminal(int descriptor, const QByteArray& settings);
