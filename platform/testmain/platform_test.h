// Test support: tests run on the engine's main thread (stack in EE memory)
// in virtual time. Fatal paths are caught through the halt hook.
#pragma once

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform.h"

// Captures everything written to the console while it lives.
struct ConsoleCaptureScope {
  ConsoleCaptureScope();
  ~ConsoleCaptureScope();
  std::string text() const;
  void clear();
};

// Runs fn; when it halts (a fatal error), returns true with the console
// text written meanwhile. The halted call is abandoned by unwinding.
bool RunExpectingHalt(const std::function<void()>& fn, std::string* console = nullptr);

#define EXPECT_HALT(stmt, expected)                                              \
  do {                                                                           \
    std::string halt_text_;                                                      \
    bool halted_ = RunExpectingHalt([&] { stmt; }, &halt_text_);                 \
    EXPECT_TRUE(halted_) << #stmt " did not halt";                               \
    EXPECT_NE(halt_text_.find(expected), std::string::npos)                      \
        << "console: " << halt_text_;                                            \
  } while (0)

// A fresh empty directory for one test (removed at exit).
std::string TestTempDir();
