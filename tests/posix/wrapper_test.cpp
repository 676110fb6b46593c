// The double that wraps the POSIX seam: every test of the seam passes
// through it unchanged (posix_test.cpp is built into these tests too), and
// the call it is told to fail fails with the error it is given, once or
// from then on, while the calls around it reach the real seam.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "platform/wrapper/wrapper_os.h"

namespace {

using wrapos::Call;

os::HANDLE H(int fd) { return reinterpret_cast<os::HANDLE>(static_cast<std::intptr_t>(fd)); }

struct Fault {
  const char* name;
  Call call;
  bool persist;
  os::DWORD error;
  bool (*works)(const int* pipe);  // one call of that kind, on a pipe that holds bytes
};
void PrintTo(const Fault& f, std::ostream* os) { *os << f.name; }
class WrapperFault : public testing::TestWithParam<Fault> {};

TEST_P(WrapperFault, TheSecondCallFailsWithTheErrorGiven) {
  const Fault& f = GetParam();
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  ASSERT_EQ(write(p[1], "abcd", 4), 4);
  unsigned before = wrapos::Calls(f.call);
  wrapos::FailNth(f.call, 2, f.error, f.persist);
  EXPECT_TRUE(f.works(p));
  EXPECT_FALSE(f.works(p));
  EXPECT_EQ(os::GetLastError(), f.error);
  EXPECT_EQ(f.works(p), !f.persist);
  EXPECT_EQ(wrapos::Calls(f.call) - before, 3u);
  EXPECT_TRUE(wrapos::FaultFired());
  wrapos::FailNth(f.call, 0, 0);
  EXPECT_TRUE(f.works(p));
  close(p[0]);
  close(p[1]);
}
INSTANTIATE_TEST_SUITE_P(
    , WrapperFault,
    testing::Values(Fault{"ReadFileOnce", Call::ReadFile, false, os::ERROR_BROKEN_PIPE,
                          [](const int* p) {
                            char c = 0;
                            os::DWORD n = 9;
                            return os::ReadFile(H(p[0]), &c, 1, &n, nullptr) && n == 1 && c >= 'a';
                          }},
                    Fault{"WriteFileFromThenOn", Call::WriteFile, true, os::ERROR_DISK_FULL,
                          [](const int* p) {
                            os::DWORD n = 9;
                            return os::WriteFile(H(p[1]), "e", 1, &n, nullptr) && n == 1;
                          }},
                    Fault{"GlobalAllocOnce", Call::GlobalAlloc, false, os::ERROR_NOT_ENOUGH_MEMORY,
                          [](const int*) {
                            auto* block = static_cast<unsigned char*>(os::GlobalAlloc(os::GMEM_ZEROINIT, 64));
                            bool zero = block && std::all_of(block, block + 64, [](unsigned char b) { return b == 0; });
                            os::GlobalFree(block);
                            return zero;
                          }},
                    Fault{"CreateFileAFromThenOn", Call::CreateFileA, true, os::ERROR_ACCESS_DENIED,
                          [](const int*) {
                            os::HANDLE h = os::CreateFileA("/dev/null", os::GENERIC_READ, 0, nullptr, os::OPEN_EXISTING,
                                                           0, nullptr);
                            return h != os::INVALID_HANDLE_VALUE && os::CloseHandle(h);
                          }},
                    Fault{"GetFileTypeOnce", Call::GetFileType, false, os::ERROR_INVALID_HANDLE,
                          [](const int* p) { return os::GetFileType(H(p[0])) == os::FILE_TYPE_PIPE; }},
                    Fault{"CloseHandleFromThenOn", Call::CloseHandle, true, os::ERROR_GEN_FAILURE,
                          [](const int* p) { return os::CloseHandle(H(dup(p[0]))) != os::kFalse; }}),
    [](auto& info) { return info.param.name; });

}  // namespace
