// A fresh process for every test: the run-time's tables back at their
// initial data, the fake operating system emptied, the standard handles
// installed on fresh fake pipes.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/fake/fake_os.h"
#include "stream/handle.h"
#include "stream/stream.h"

namespace varnock {

void ResetWorld();

class World : public ::testing::Test {
 protected:
  void SetUp() override { ResetWorld(); }
  static std::string StdOutBytes() { return fakeos::State(fakeos::StdOut()).output; }
  static void FeedStdIn(std::string_view bytes, std::vector<std::size_t> chunks = {}) {
    fakeos::Feed(fakeos::StdIn(), bytes, std::move(chunks));
  }
  // The bytes of every WriteFile on a handle, one string per call.
  static std::vector<std::string> WritesTo(os::HANDLE h) {
    std::vector<std::string> out;
    for (const auto& w : fakeos::Writes())
      if (w.handle == h) out.push_back(w.bytes);
    return out;
  }
};

}  // namespace varnock
