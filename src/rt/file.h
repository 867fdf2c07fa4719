// Writing a whole file in one piece.
#pragma once

#include "rt/text.h"

namespace rt {

// Creates path, or truncates it, opened with no sharing, and writes every byte of data.
// False for an empty path, a file that cannot be opened that way, or a short write.
bool WriteFile(const Text& path, const ByteSet& data);

}  // namespace rt
