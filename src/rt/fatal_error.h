// Fatal run-time errors: one message box, then the process ends with exit code -1.
#pragma once

#include <cstddef>
#include <functional>

#include "rt/text.h"

namespace rt {

enum class FatalErrorCode {
  kIndexBeyondCount = 1,
  kIndexBelowOne = 4,
  kStackUnbalanced = 6,
  kDllCommandMissing = 7,
  kOutOfMemory = 8,
  kDivideByZero = 9,
  kUnhandledException = 10,
};

// Shows the error and ends the process; never returns.
[[noreturn]] void FatalRuntimeError(FatalErrorCode code, const Text& message);

// An allocation of `bytes` failed: "分配 %d 字节内存失败!". A reserve kept for this moment is
// given back first, so that the report itself finds memory.
[[noreturn]] void FatalOutOfMemory(std::size_t bytes) noexcept;

// For a catch (...) at a callback boundary, and for std::terminate: an exception that no code
// handled, named by its what() when it has one.
[[noreturn]] void FatalUnhandledException() noexcept;

// Replaces the message box (tests observe the report there instead of a blocking window).
// The process still ends with exit code -1 after the reporter returns.
using FatalErrorReporter = std::function<void(int code, const Text& message)>;
void SetFatalErrorReporter(FatalErrorReporter reporter);

}  // namespace rt
