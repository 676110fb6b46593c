#include "platform/win32/system.h"

namespace os {
int MessageBoxA(HANDLE owner, const char* text, const char* caption, UINT type) {
  return ::MessageBoxA(static_cast<::HWND>(owner), text, caption, type);
}
}  // namespace os
