#include "tests/unit/world.h"

#include <cstring>

#include "game/game.h"
#include "pool/memory_pool.h"
#include "runtime/runtime.h"
#include "textfile/textfile.h"

namespace varnock {
namespace {
struct Pristine {
  Stream streams[kStreamCount];
  TextFileVariable input = Input, output = Output, errOutput = ErrOutput;
  TextFile inputRecord = *Input, outputRecord = *Output, errOutputRecord = *ErrOutput;
  Pristine() { std::memcpy(streams, StreamTable, sizeof streams); }
};
const Pristine& Initial() {
  static const Pristine p;
  return p;
}
const Pristine& initialAtStart = Initial();  // taken before any test runs
}  // namespace

void ResetWorld() {
  const Pristine& p = Initial();
  PoolRelease();
  fakeos::Reset();
  std::memcpy(StreamTable, p.streams, sizeof StreamTable);
  for (auto& slot : HandleTable) slot = nullptr;
  Input = p.input;
  Output = p.output;
  ErrOutput = p.errOutput;
  *Input = p.inputRecord;
  *Output = p.outputRecord;
  *ErrOutput = p.errOutputRecord;
  IoResult = {0, 0};
  CloseAllHook = nullptr;
  LastOsError = 0;
  DrinkTotal = FruitOrders = Choice = 0;
  NightOver = false;
  ProcessAborted = 0;
  InstallStandardHandles();
}

}  // namespace varnock
