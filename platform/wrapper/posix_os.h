// The real POSIX seam under the name the wrapper calls it by. The build
// compiles platform/posix's sources a second time with their namespace
// named posix_os (platform_posix_renamed), so that a program holds the
// wrapper's os:: functions beside the real code; these are that code's
// declarations: os.h's own, read again under the other name.
#pragma once

#include "platform/os.h"

#undef VARNOCK_PLATFORM_OS_H
#define os posix_os
#include "platform/last_error.h"
#include "platform/os.h"
#undef os
