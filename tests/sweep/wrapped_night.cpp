// The night over the wrapping double, which the sweep starts once a fault.
// VARNOCK_FAIL in its environment, a call's name and number ("WriteFile
// 3"), makes that call fail with ERROR_GEN_FAILURE. As the process ends it
// writes to descriptor 3 a line per call of the kinds that can fail (its
// name, handle, bytes asked and moved, and 1 if it was made to fail), then
// "end", the status, whether standard output's stream failed, the handle
// slots still filled, the blocks left once the pool lets go of all it
// holds, and 1 if the fault fired.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/wrapper/wrapper_os.h"
#include "pool/memory_pool.h"
#include "stream/handle.h"
#include "stream/stream.h"

namespace {

void Report(os::UINT status) {
  using namespace varnock;
  std::string slots;
  for (unsigned i = 0; i < 3; ++i)
    if (HandleTable[i]) slots += static_cast<char>('0' + i);
  bool outError = StandardOutput->error;
  PoolRelease();
  std::string report;
  for (const wrapos::Record& r : wrapos::Log())
    report += std::string(wrapos::NameOf(r.call)) + " " + std::to_string(reinterpret_cast<std::intptr_t>(r.handle)) +
              " " + std::to_string(r.asked) + " " + std::to_string(r.moved) + " " + std::to_string(r.injected) + "\n";
  report += "end " + std::to_string(status) + " " + std::to_string(outError) + " " + (slots.empty() ? "-" : slots) +
            " " + std::to_string(wrapos::LiveBlocks()) + " " + std::to_string(wrapos::FaultFired()) + "\n";
  for (std::size_t done = 0; done < report.size();) {
    ssize_t n = ::write(3, report.data() + done, report.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
}

[[maybe_unused]] const bool configured = [] {
  if (const char* fault = std::getenv("VARNOCK_FAIL")) {
    const char* number = std::strchr(fault, ' ');
    for (int c = 0; number && c < static_cast<int>(wrapos::Call::kCount); ++c) {
      auto call = static_cast<wrapos::Call>(c);
      if (std::string(fault, number) == wrapos::NameOf(call))
        wrapos::FailNth(call, static_cast<unsigned>(std::atoi(number)), os::ERROR_GEN_FAILURE);
    }
  }
  wrapos::BeforeExit(Report);
  return true;
}();

}  // namespace
