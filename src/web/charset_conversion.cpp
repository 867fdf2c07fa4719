#include "web/charset_conversion.h"

#include <windows.h>

#include <cstring>

#include "rt/com_object.h"
#include "rt/dll_commands.h"
#include "web/code_pages.h"

namespace web {
namespace {

struct CharsetCodePage {
  const char* name;  // lower case
  int codePage;
};

const CharsetCodePage kCharsets[] = {
    {"utf-8", 65001},        {"utf8", 65001},        {"big5", 950},          {"big5-hkscs", 950},
    {"shift_jis", 932},      {"shift-jis", 932},     {"sjis", 932},          {"x-sjis", 932},
    {"windows-31j", 932},    {"euc-jp", 20932},      {"x-euc-jp", 20932},    {"euc-kr", 949},
    {"ks_c_5601-1987", 949}, {"iso-8859-1", 28591},  {"iso-8859-2", 28592},  {"iso-8859-3", 28593},
    {"iso-8859-4", 28594},   {"iso-8859-5", 28595},  {"iso-8859-6", 28596},  {"iso-8859-7", 28597},
    {"iso-8859-8", 28598},   {"iso-8859-9", 28599},  {"iso-8859-10", 28600}, {"iso-8859-11", 874},
    {"iso-8859-13", 28603},  {"iso-8859-14", 28604}, {"iso-8859-15", 28605}, {"latin1", 28591},
    {"windows-874", 874},    {"windows-1250", 1250}, {"windows-1251", 1251}, {"windows-1252", 1252},
    {"windows-1253", 1253},  {"windows-1254", 1254}, {"windows-1255", 1255}, {"windows-1256", 1256},
    {"windows-1257", 1257},  {"windows-1258", 1258}, {"koi8-r", 20866},      {"koi8-u", 21866},
    {"gb18030", 54936},      {"gbk", 936},           {"gb2312", 936},        {"cp936", 936},
    {"us-ascii", 20127},
};

// What the "Adodb.Stream" object makes of the body; empty when it yields nothing.
rt::Text DecodeWithStream(const rt::ByteSet& body, const rt::Text& charsetName) {
  rt::ComObject stream;
  if (!rt::CreateComObject(stream, "Adodb.Stream")) return rt::Text();
  rt::ComVariant streamData;
  rt::VariantSet(streamData, body);
  rt::ComVariant charset;
  rt::VariantSet(charset, charsetName);
  rt::ComSetProperty(stream, "Type", 1);
  rt::ComSetProperty(stream, "Mode", 3);
  rt::ComCallMethod(stream, "Open");
  rt::ComCallMethod(stream, "Write", {rt::ComArg::ByRef(streamData)});
  rt::ComSetProperty(stream, "Position", 0);
  rt::ComSetProperty(stream, "Type", 2);
  rt::ComSetProperty(stream, "Charset", rt::ComArg::ByRef(charset));
  rt::Text text = rt::ComCallTextMethod(stream, "ReadText");
  rt::ComCallMethod(stream, "Close");
  rt::ObjectClear(stream);
  rt::VariantRelease(streamData);
  return text;
}

// The body through the platform's converter; nothing when the code page is refused.
std::optional<rt::Text> DecodeWithCodePage(const rt::ByteSet& body, int codePage) {
  if (body.empty()) return rt::Text();
  const auto* source = reinterpret_cast<const char*>(body.data());
  const int units = rt::dll::MultiByteToWideChar(codePage, 0, source, body.size(), nullptr, 0);
  if (units <= 0) return std::nullopt;
  rt::ByteSet wide = rt::BlankBytes(units * 2);
  if (rt::dll::MultiByteToWideChar(codePage, 0, source, body.size(),
                                   reinterpret_cast<wchar_t*>(wide.data()), units) != units)
    return std::nullopt;
  return WideToAnsi(wide);
}

}  // namespace

std::optional<int> CodePageOfCharset(const rt::Text& charsetName) {
  const rt::Text lower = rt::ToLowerCase(charsetName);
  for (const CharsetCodePage& entry : kCharsets) {
    if (std::strcmp(lower.c_str(), entry.name) == 0) return entry.codePage;
  }
  return std::nullopt;
}

rt::Text ConvertCharset(const rt::ByteSet& body, const rt::Text& charsetName,
                        const rt::Text& undecodedText) {
  rt::Text text = DecodeWithStream(body, charsetName);
  if (!text.empty()) return text;
  // Where the stream's members cannot be reached (as under Wine) the body is still decoded;
  // a name that no converter knows keeps the undecoded text rather than losing the body.
  if (const std::optional<int> codePage = CodePageOfCharset(charsetName)) {
    if (std::optional<rt::Text> decoded = DecodeWithCodePage(body, *codePage)) return *decoded;
  }
  return undecodedText;
}

}  // namespace web
