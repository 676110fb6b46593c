// What the files of the Win32 seam include: the seam, then the system's
// own declarations. <windows.h> makes macros of names the seam declares,
// so nothing after it may name the seam's constants.
#pragma once

#include "platform/os.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
