// Conversions between program texts (GBK, code page 936) and UTF-16 / UTF-8, made by the
// runtime's one conversion (rt/wide.h) with the platform's converters reached through the
// external-function table.
#pragma once

#include <optional>
#include <string>

#include "rt/text.h"

namespace web {

// Wide byte set (UTF-16LE units) with a terminating zero unit; codePage 65001 when not given.
rt::ByteSet MultiByteToWide(const rt::Text& source, std::optional<int> codePage = std::nullopt);
// Text in codePage (936 when not given) from a wide byte set.
rt::Text WideToMultiByte(const rt::ByteSet& source, std::optional<int> codePage = std::nullopt);
rt::Text GbkToUtf8(const rt::Text& source);
rt::ByteSet AnsiToWide(const rt::Text& source, bool dropTerminator = false);
// AnsiToWide without the terminator, as the wide string that a WinHttp function takes.
std::wstring AnsiToWideString(const rt::Text& source);
rt::Text WideToAnsi(const rt::ByteSet& source);

}  // namespace web
