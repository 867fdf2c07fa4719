// Conversions between program texts (GBK, code page 936) and UTF-16 / UTF-8, made by the
// platform's converters through the external-function table.
#pragma once

#include <optional>

#include "rt/text.h"

namespace web {

// Wide byte set (UTF-16LE units) with a terminating zero unit; codePage 65001 when not given.
rt::ByteSet MultiByteToWide(const rt::Text& source, std::optional<int> codePage = std::nullopt);
// Text in codePage (936 when not given) from a wide byte set.
rt::Text WideToMultiByte(const rt::ByteSet& source, std::optional<int> codePage = std::nullopt);
rt::Text GbkToUtf8(const rt::Text& source);
rt::ByteSet AnsiToWide(const rt::Text& source, bool dropTerminator = false);
rt::Text WideToAnsi(const rt::ByteSet& source);

}  // namespace web
