#pragma once

// The window's controls under their designer names: the class the form ServerFrm.ui generates
// (`ServerFrm::controls()`). Included through here so that only the window's own library
// compiles the form.
#include "ui_ServerFrm.h"
