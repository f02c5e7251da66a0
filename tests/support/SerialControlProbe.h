#pragma once

#include "serial/QtSerialControl.h"

// What tests read of the serial control beyond what the serial link does: how many received
// characters wait to be read. A friend of the control.
struct SerialControlProbe {
    static qsizetype waiting(const QtSerialControl& control) { return control.waiting(); }
};
