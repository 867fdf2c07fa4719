#include "rt/exit_routines.h"

#include <vector>

namespace rt {
namespace {

std::vector<ExitRoutine>& Routines() {
  static std::vector<ExitRoutine> routines;
  return routines;
}

}  // namespace

void RegisterExitRoutine(ExitRoutine routine) {
  if (routine != nullptr) Routines().push_back(routine);
}

void RunExitRoutines() {
  // A routine that registers another one must not invalidate the walk.
  std::vector<ExitRoutine> routines;
  routines.swap(Routines());
  for (ExitRoutine routine : routines) routine();
}

}  // namespace rt
