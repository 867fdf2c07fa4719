// Writing a whole file in one piece, and replacing one without risking its content.
#pragma once

#include "rt/text.h"

namespace rt {

// Creates path, or truncates it, opened with no sharing, and writes every byte of data.
// False for an empty path, a file that cannot be opened that way, or a short write.
bool WriteFile(const Text& path, const ByteSet& data);

// Writes data to path + ".tmp" and then moves it over path, so that a failed write never
// destroys the earlier file. A file that another program holds for a moment (a viewer, a
// virus scanner) is waited for, 10 times 50 ms. False when the file could not be replaced:
// path then holds what it held, and no temporary file is left.
bool ReplaceFileAtomically(const Text& path, const ByteSet& data);

}  // namespace rt
