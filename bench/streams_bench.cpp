// The byte paths of our streams and text files against the C library's,
// in one binary: memory to memory, then a line to /dev/null.
#include <benchmark/benchmark.h>
#include <fcntl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "pool/runtime_locks.h"
#include "stream/handle.h"
#include "textfile/textfile.h"

namespace {

using namespace varnock;

constexpr std::uint32_t kBytes = 4096;

std::string Text(std::size_t size) {  // numbers, blanks and line ends
  std::string t;
  while (t.size() < size) t += "  12345 -678 9\n";
  t.resize(size);
  return t;
}

void GetByteFastPath(benchmark::State& state) {
  std::string text = Text(kBytes);
  Stream s;
  for (auto _ : state) {
    OpenStringStream(&s, reinterpret_cast<std::uint8_t*>(text.data()), kBytes, kStateReading);
    for (std::uint32_t i = 0; i < kBytes; ++i) benchmark::DoNotOptimize(GetByte(&s));
  }
  state.SetItemsProcessed(state.iterations() * kBytes);
}

void GetcUnlocked(benchmark::State& state) {
  std::string text = Text(kBytes);
  FILE* f = fmemopen(text.data(), kBytes, "r");
  for (auto _ : state) {
    std::rewind(f);
    for (std::uint32_t i = 0; i < kBytes; ++i) benchmark::DoNotOptimize(getc_unlocked(f));
  }
  std::fclose(f);
  state.SetItemsProcessed(state.iterations() * kBytes);
}

void PutByteFastPath(benchmark::State& state) {
  static std::uint8_t buffer[kBytes];
  Stream s;
  for (auto _ : state) {
    OpenStringStream(&s, buffer, kBytes, kStateWriting);
    for (std::uint32_t i = 0; i < kBytes; ++i) benchmark::DoNotOptimize(PutByte('a' + (i & 15), &s));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kBytes);
}

void PutcUnlocked(benchmark::State& state) {
  static char buffer[kBytes + 1];
  FILE* f = fmemopen(buffer, sizeof buffer, "w");
  for (auto _ : state) {
    std::rewind(f);
    for (std::uint32_t i = 0; i < kBytes; ++i) benchmark::DoNotOptimize(putc_unlocked('a' + (i & 15), f));
    benchmark::ClobberMemory();
  }
  std::fclose(f);
  state.SetItemsProcessed(state.iterations() * kBytes);
}

// Blocks of state.range(0) bytes into a fully buffered memory stream.
void WriteBlockToMemory(benchmark::State& state) {
  static std::uint8_t buffer[kBytes];
  std::string block = Text(static_cast<std::size_t>(state.range(0)));
  Stream s;
  OpenStringStream(&s, buffer, kBytes, kStateWriting);
  for (auto _ : state) {
    if (s.count < block.size()) OpenStringStream(&s, buffer, kBytes, kStateWriting);
    benchmark::DoNotOptimize(WriteBlock(block.data(), 1, static_cast<std::uint32_t>(block.size()), &s));
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void FwriteToMemory(benchmark::State& state) {
  static char buffer[kBytes + 1];
  std::string block = Text(static_cast<std::size_t>(state.range(0)));
  FILE* f = fmemopen(buffer, sizeof buffer, "w");
  for (auto _ : state) {
    if (std::ftell(f) + static_cast<long>(block.size()) > static_cast<long>(kBytes)) std::rewind(f);
    benchmark::DoNotOptimize(std::fwrite(block.data(), 1, block.size(), f));
  }
  std::fclose(f);
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void ReadIntegerPerNumber(benchmark::State& state) {
  std::string text = Text(kBytes);
  std::uint8_t lookahead[1];
  Stream s;
  TextFile record{&s, lookahead, 1, 0x0112};  // a text file open for reading
  TextFileVariable file = &record;
  std::int64_t numbers = 0;
  for (auto _ : state) {
    OpenStringStream(&s, reinterpret_cast<std::uint8_t*>(text.data()), kBytes, kStateReading);
    for (std::int32_t v; (v = ReadInteger(file)), IoResult.positive != kIoNoNumber; ++numbers)
      benchmark::DoNotOptimize(v);
  }
  state.SetItemsProcessed(numbers);
}

void Strtol(benchmark::State& state) {
  std::string text = Text(kBytes);
  std::int64_t numbers = 0;
  for (auto _ : state) {
    char* p = text.data();
    for (char* end;; p = end, ++numbers) {
      long v = std::strtol(p, &end, 10);
      if (end == p) break;
      benchmark::DoNotOptimize(v);
    }
  }
  state.SetItemsProcessed(numbers);
}

// One message line to /dev/null as the game prints it (WriteString and
// WriteLn on Output) against fwrite and fputs on a line-buffered FILE.
void GameLineToDevNull(benchmark::State& state) {
  static const bool ready = [] {
    for (auto& lock : RuntimeLocks) os::InitializeCriticalSection(&lock);
    InstallStandardHandles();
    HandleTable[1]->handle = reinterpret_cast<os::HANDLE>(static_cast<std::intptr_t>(open("/dev/null", O_WRONLY)));
    return true;
  }();
  static constexpr CountedText<18> kLine{"5: rubbing alcohol"};
  for (auto _ : state) {
    WriteString(Output, kLine, -1);
    benchmark::DoNotOptimize(WriteLn(Output));
  }
  state.SetItemsProcessed(state.iterations());
  (void)ready;
}

void StdioLineToDevNull(benchmark::State& state) {
  FILE* f = std::fopen("/dev/null", "w");
  std::setvbuf(f, nullptr, _IOLBF, BUFSIZ);
  for (auto _ : state) {
    std::fwrite("5: rubbing alcohol", 1, 18, f);
    benchmark::DoNotOptimize(std::fputs("\r\n", f));
  }
  std::fclose(f);
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(GetByteFastPath);
BENCHMARK(GetcUnlocked);
BENCHMARK(PutByteFastPath);
BENCHMARK(PutcUnlocked);
BENCHMARK(WriteBlockToMemory)->Arg(20)->Arg(200);
BENCHMARK(FwriteToMemory)->Arg(20)->Arg(200);
BENCHMARK(ReadIntegerPerNumber);
BENCHMARK(Strtol);
BENCHMARK(GameLineToDevNull);
BENCHMARK(StdioLineToDevNull);
