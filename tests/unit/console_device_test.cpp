// The names that open the console's devices, as every seam reads them.
#include <gtest/gtest.h>

#include "platform/console_device.h"

namespace {

using os::ConsoleDevice;

TEST(ConsoleDeviceTest, NamedAsWindowsNamesThem) {
  const struct {
    const char* name;
    ConsoleDevice device;
  } rows[] = {
      {"CONIN$", ConsoleDevice::Input},
      {"conin$", ConsoleDevice::Input},
      {"conOUT$", ConsoleDevice::Output},
      {"CONIN", ConsoleDevice::None},
      {"CONIN$ ", ConsoleDevice::None},
      {"", ConsoleDevice::None},
      {nullptr, ConsoleDevice::None},
      // A fold by the case bit alone, not only of letters, takes 04 for "$".
      {"conin\x04", ConsoleDevice::None},
  };
  for (const auto& row : rows)
    EXPECT_EQ(os::ConsoleDeviceNamed(row.name), row.device) << (row.name ? row.name : "(null)");
}

}  // namespace
