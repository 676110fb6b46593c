// The message box is the page's, in varnock.js. It waits for the player,
// and the program cannot block the page's only thread: the call is an
// asynchronous import, which Asyncify resumes when the box is closed.
#include "platform/os.h"
#include "platform/web/imports.h"

extern "C" VARNOCK_IMPORT("message_box") int varnock_message_box(const char* text, const char* caption, os::UINT type);

namespace os {
int MessageBoxA(HANDLE, const char* text, const char* caption, UINT type) {
  return varnock_message_box(text ? text : "", caption ? caption : "Error", type);
}
}  // namespace os
