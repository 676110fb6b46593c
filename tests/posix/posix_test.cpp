// The POSIX seam against real pipes, files and devices.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>

#include "platform/os.h"

namespace {

os::HANDLE H(int fd) { return reinterpret_cast<os::HANDLE>(static_cast<std::intptr_t>(fd)); }

struct Pipe {
  int fds[2];
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    for (int fd : fds)
      if (fd >= 0) close(fd);
  }
};

std::string TempPath() {
  char path[] = "/tmp/varnock-posix-XXXXXX";
  int fd = mkstemp(path);
  close(fd);
  return path;
}

TEST(PosixSeam, FileTypes) {
  Pipe p;
  std::string path = TempPath();
  int file = open(path.c_str(), O_RDONLY);
  int null = open("/dev/null", O_RDONLY);
  int sockets[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
  const struct {
    int fd;
    os::DWORD type;
  } rows[] = {{p.fds[0], os::FILE_TYPE_PIPE},
              {file, os::FILE_TYPE_DISK},
              {null, os::FILE_TYPE_CHAR},
              {sockets[0], os::FILE_TYPE_PIPE},
              {999, os::FILE_TYPE_UNKNOWN}};
  for (const auto& row : rows) EXPECT_EQ(os::GetFileType(H(row.fd)), row.type) << row.fd;
  EXPECT_EQ(os::GetLastError(), os::ERROR_INVALID_HANDLE);
  close(file);
  close(null);
  for (int fd : sockets) close(fd);
  unlink(path.c_str());
}

TEST(PosixSeam, FilesMoveAndPipesDoNot) {
  std::string path = TempPath();
  os::SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, os::kFalse};
  os::HANDLE f =
      os::CreateFileA(path.c_str(), os::GENERIC_READ | os::GENERIC_WRITE, 0, &sa, os::OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, os::INVALID_HANDLE_VALUE);
  os::DWORD n = 0;
  EXPECT_TRUE(os::WriteFile(f, "hello", 5, &n, nullptr));
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(os::SetFilePointer(f, -1, nullptr, os::FILE_CURRENT), 4u);
  char c;
  EXPECT_TRUE(os::ReadFile(f, &c, 1, &n, nullptr));
  EXPECT_EQ(c, 'o');
  EXPECT_TRUE(os::ReadFile(f, &c, 1, &n, nullptr));  // end of file: success, nothing read
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(os::SetFilePointer(f, -9, nullptr, os::FILE_END), os::INVALID_SET_FILE_POINTER);
  EXPECT_EQ(os::GetLastError(), os::ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(os::SetFilePointer(f, -2, nullptr, os::FILE_END), 3u);
  EXPECT_EQ(os::SetFilePointer(f, 0x7FFFFFFF, nullptr, os::FILE_CURRENT), 0x80000002u);
  EXPECT_EQ(os::SetFilePointer(f, 0x7FFFFFFF, nullptr, os::FILE_CURRENT), os::INVALID_SET_FILE_POINTER);
  EXPECT_EQ(os::GetLastError(), os::ERROR_INVALID_PARAMETER);                   // past 4 GiB needs the high part
  EXPECT_EQ(os::SetFilePointer(f, 0, nullptr, os::FILE_CURRENT), 0x80000002u);  // and nothing moved
  EXPECT_EQ(os::SetFilePointer(f, 0x7FFFFFFD, nullptr, os::FILE_CURRENT), 0xFFFFFFFFu);  // the last 32-bit position
  EXPECT_EQ(os::GetLastError(), os::ERROR_SUCCESS);                                      // is a position, not a failure
  os::LONG high = 0;  // with a high part: 0xFFFFFFFF + 0x80000001, the low part unsigned
  EXPECT_EQ(os::SetFilePointer(f, static_cast<os::LONG>(0x80000001u), &high, os::FILE_CURRENT), 0x80000000u);
  EXPECT_EQ(high, 1);
  EXPECT_EQ(os::SetFilePointer(f, 1, nullptr, os::FILE_CURRENT), os::INVALID_SET_FILE_POINTER);  // an old error
  high = 0;  // to 0x1FFFFFFFF: its low part, 0xFFFFFFFF, is a position with a high part too
  EXPECT_EQ(os::SetFilePointer(f, 0x7FFFFFFF, &high, os::FILE_CURRENT), 0xFFFFFFFFu);
  EXPECT_EQ(os::GetLastError(), os::ERROR_SUCCESS);
  EXPECT_TRUE(os::CloseHandle(f));
  EXPECT_FALSE(os::CloseHandle(f));
  EXPECT_EQ(os::GetLastError(), os::ERROR_INVALID_HANDLE);

  Pipe p;
  EXPECT_EQ(os::SetFilePointer(H(p.fds[0]), -1, nullptr, os::FILE_CURRENT), os::INVALID_SET_FILE_POINTER);
  EXPECT_EQ(os::GetLastError(), os::ERROR_SEEK_ON_DEVICE);
  unlink(path.c_str());
}

TEST(PosixSeam, WritingToAPipeWithoutReaderFailsInsteadOfKilling) {
  Pipe p;
  close(p.fds[0]);
  p.fds[0] = -1;
  os::DWORD n = 7;
  EXPECT_FALSE(os::WriteFile(H(p.fds[1]), "x\r\n", 3, &n, nullptr));
  EXPECT_EQ(os::GetLastError(), os::ERROR_NO_DATA);
  EXPECT_EQ(n, 0u);
}

TEST(PosixSeam, NonBlockingDescriptorsWaitLikeHandles) {
  Pipe p;
  for (int fd : p.fds) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  std::string big(1 << 20, '\0');  // far more than the pipe holds, and no two pieces alike
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i % 251);
  std::string got;
  std::thread reader([&] {
    char buffer[4096];
    os::DWORD n = 0;
    while (got.size() < big.size() && os::ReadFile(H(p.fds[0]), buffer, sizeof buffer, &n, nullptr) && n > 0) {
      got.append(buffer, n);
      if (got.size() == n) std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the writer finds it full
    }
    close(std::exchange(p.fds[0], -1));  // a writer left alone fails rather than waits
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the reader finds the pipe empty
  os::DWORD n = 0;
  EXPECT_TRUE(os::WriteFile(H(p.fds[1]), big.data(), static_cast<os::DWORD>(big.size()), &n, nullptr));
  EXPECT_EQ(n, big.size());
  close(std::exchange(p.fds[1], -1));  // and a reader left alone sees the end
  reader.join();
  EXPECT_EQ(got, big);
}

TEST(PosixSeam, ReadsGiveWhatThePipeHolds) {
  Pipe p;
  ASSERT_EQ(write(p.fds[1], "12\r\n", 4), 4);
  close(p.fds[1]);
  p.fds[1] = -1;
  char buffer[256];
  os::DWORD n = 0;
  EXPECT_TRUE(os::ReadFile(H(p.fds[0]), buffer, sizeof buffer, &n, nullptr));
  EXPECT_EQ(std::string(buffer, n), "12\r\n");
  EXPECT_TRUE(os::ReadFile(H(p.fds[0]), buffer, sizeof buffer, &n, nullptr));
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(os::ReadFile(H(-1), buffer, 1, &n, nullptr));
  EXPECT_EQ(os::GetLastError(), os::ERROR_INVALID_HANDLE);
}

TEST(PosixSeam, PeekTellsWhatAPipeHoldsAndRefusesOtherHandles) {
  Pipe p;
  os::DWORD waiting = 99;
  EXPECT_TRUE(os::PeekNamedPipe(H(p.fds[0]), nullptr, 0, nullptr, &waiting, nullptr));
  EXPECT_EQ(waiting, 0u);
  ASSERT_EQ(write(p.fds[1], "3\r", 2), 2);
  EXPECT_TRUE(os::PeekNamedPipe(H(p.fds[0]), nullptr, 0, nullptr, &waiting, nullptr));
  EXPECT_EQ(waiting, 2u);
  int null = open("/dev/null", O_RDONLY);
  EXPECT_FALSE(os::PeekNamedPipe(H(null), nullptr, 0, nullptr, &waiting, nullptr));
  EXPECT_EQ(os::GetLastError(), os::ERROR_INVALID_FUNCTION);
  close(null);
  EXPECT_FALSE(os::PeekNamedPipe(H(-1), nullptr, 0, nullptr, &waiting, nullptr));
  EXPECT_EQ(os::GetLastError(), os::ERROR_INVALID_HANDLE);
}

TEST(PosixSeam, MissingFilesAndTheConsoleDevice) {
  EXPECT_EQ(os::CreateFileA("/tmp/varnock-no-such-file", os::GENERIC_READ, 0, nullptr, os::OPEN_EXISTING, 0, nullptr),
            os::INVALID_HANDLE_VALUE);
  EXPECT_EQ(os::GetLastError(), os::ERROR_FILE_NOT_FOUND);
  // CONIN$ is the controlling terminal: present or not, the answer is a
  // handle to a character device or a failure, never something else.
  os::HANDLE con =
      os::CreateFileA("CONIN$", os::GENERIC_READ | os::GENERIC_WRITE, 3, nullptr, os::OPEN_EXISTING, 0, nullptr);
  if (con != os::INVALID_HANDLE_VALUE) {
    EXPECT_EQ(os::GetFileType(con), os::FILE_TYPE_CHAR);
    os::CloseHandle(con);
  }
}

TEST(PosixSeam, CriticalSectionsExcludeOtherThreadsAndLetTheOwnerEnterAgain) {
  os::CRITICAL_SECTION lock;
  os::InitializeCriticalSection(&lock);
  long shared = 0;
  auto work = [&] {
    for (int i = 0; i < 200000; ++i) {
      os::EnterCriticalSection(&lock);
      os::EnterCriticalSection(&lock);
      long seen = shared;
      os::LeaveCriticalSection(&lock);
      shared = seen + 1;  // still inside the outer enter
      os::LeaveCriticalSection(&lock);
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(shared, 400000);
  os::DeleteCriticalSection(&lock);
  void* block = os::GlobalAlloc(os::GMEM_FIXED, 1 << 16);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(os::GlobalFree(block), nullptr);
}

}  // namespace
