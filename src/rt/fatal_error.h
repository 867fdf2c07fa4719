// Fatal run-time errors: one message box, then the process ends with exit code -1.
#pragma once

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
};

// Shows the error and ends the process; never returns.
[[noreturn]] void FatalRuntimeError(FatalErrorCode code, const Text& message);

// Replaces the message box (tests observe the report there instead of a blocking window).
// The process still ends with exit code -1 after the reporter returns.
using FatalErrorReporter = std::function<void(int code, const Text& message)>;
void SetFatalErrorReporter(FatalErrorReporter reporter);

}  // namespace rt
