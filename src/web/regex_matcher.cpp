#include "web/regex_matcher.h"

namespace web {
namespace {

// Turns the object's character index of a match into a byte offset of the subject text.
// The search starts at FirstIndex read as a 1-based byte position, so it begins one byte
// early, and one more byte early for every double-byte character before the match.
int PositionInSubject(const rt::ComVariant& subject, const rt::ComObject& regExp,
                      const rt::ComObject& match, const rt::Text& found) {
  const rt::Text text = rt::VariantToText(subject);
  const int start = rt::ToInteger(rt::ComGetNumberProperty(match, "FirstIndex"));
  const bool ignoreCase =
      rt::VariantToText(rt::ComGetVariantProperty(regExp, "IgnoreCase")) != rt::Text("0");
  return rt::FindText(text, found, start, ignoreCase) - 1;
}

}  // namespace

RegexMatcher::RegexMatcher() { rt::VariantSet(subjectVariant, 0); }

// A copy initialises COM for itself, so that its destructor's uninitialisation stays paired.
RegexMatcher::RegexMatcher(const RegexMatcher& other)
    : regExpObject(other.regExpObject),
      matchCollection(other.matchCollection),
      subjectVariant(other.subjectVariant) {}

// The objects go in this order, before the COM initialisation ends.
RegexMatcher::~RegexMatcher() {
  rt::ObjectClear(regExpObject);
  rt::ObjectClear(matchCollection);
  rt::VariantRelease(subjectVariant);
}

bool RegexMatcher::Execute(const rt::Text& pattern, const rt::Text& subject, bool caseSensitive,
                           bool multiline, bool global, bool quoteEscape) {
  rt::ObjectClear(regExpObject);
  rt::ObjectClear(matchCollection);
  rt::CreateComObject(regExpObject, "VBScript.RegExp");
  rt::ComSetProperty(regExpObject, "IgnoreCase", !caseSensitive);
  rt::ComSetProperty(regExpObject, "Multiline", multiline);
  // The object has no single-line mode; this write fails and changes nothing.
  rt::ComSetProperty(regExpObject, "Singleline", true);
  rt::ComSetProperty(regExpObject, "Global", global);
  rt::ComSetProperty(regExpObject, "Pattern",
                     quoteEscape ? rt::ReplaceText(pattern, "#引号", "\"", 1, -1, true) : pattern);
  rt::VariantSet(subjectVariant, subject);
  matchCollection = rt::ComCallObjectMethod(regExpObject, "Execute", {subjectVariant});
  return !rt::ObjectIsEmpty(matchCollection);
}

rt::Text RegexMatcher::GetPattern() const {
  if (rt::ObjectIsEmpty(regExpObject)) return rt::Text();
  return rt::ComGetTextProperty(regExpObject, "Pattern");
}

rt::Text RegexMatcher::Replace(const rt::Text& replacement) const {
  rt::ComVariant replacementVariant;
  rt::VariantSet(replacementVariant, replacement);
  const rt::Text result = rt::ComCallTextMethod(
      regExpObject, "Replace", {subjectVariant, rt::ComArg::ByRef(replacementVariant)});
  rt::VariantRelease(replacementVariant);
  return result;
}

int RegexMatcher::MatchCount() const {
  return rt::ToInteger(rt::ComGetNumberProperty(matchCollection, "Count"));
}

rt::Text RegexMatcher::MatchText(int matchNumber, int* position) const {
  const rt::ComObject match = rt::ComGetObjectProperty(matchCollection, "Item", {matchNumber - 1});
  const rt::Text found = rt::VariantToText(rt::ComGetVariantProperty(match, "Value"));
  if (position) *position = PositionInSubject(subjectVariant, regExpObject, match, found);
  return found;
}

rt::Text RegexMatcher::SubMatchText(int matchNumber, int subMatchNumber, int* position) const {
  const rt::ComObject match = rt::ComGetObjectProperty(matchCollection, "Item", {matchNumber - 1});
  const rt::ComObject groups = rt::ComGetObjectProperty(match, "SubMatches");
  const rt::Text found =
      rt::VariantToText(rt::ComGetVariantProperty(groups, "Item", {subMatchNumber - 1}));
  // A group has no index of its own: the search starts from the whole match's.
  if (position) *position = PositionInSubject(subjectVariant, regExpObject, match, found);
  return found;
}

int RegexMatcher::SubMatchCount() const {
  const rt::ComObject first = rt::ComGetObjectProperty(matchCollection, "Item", {0});
  const rt::ComObject groups = rt::ComGetObjectProperty(first, "SubMatches");
  return rt::ToInteger(rt::ComGetNumberProperty(groups, "Count"));
}

}  // namespace web
