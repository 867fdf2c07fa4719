// Regular expressions run by the platform's "VBScript.RegExp" automation object.
// Matches and groups are numbered from 1 here; the object counts from 0.
#pragma once

#include "rt/com_object.h"
#include "rt/handle_owners.h"
#include "rt/text.h"

namespace web {

class RegexMatcher {
public:
  RegexMatcher();   // initialises COM on this thread
  ~RegexMatcher();  // releases the objects, then uninitialises COM
  RegexMatcher(const RegexMatcher& other);
  RegexMatcher& operator=(const RegexMatcher&) = delete;

  bool Execute(const rt::Text& pattern, const rt::Text& subject, bool caseSensitive = false,
               bool multiline = true, bool global = true, bool quoteEscape = false);
  void NoOp() {}
  rt::Text GetPattern() const;
  rt::Text Replace(const rt::Text& replacement = rt::Text()) const;
  int MatchCount() const;
  // position, when given, receives the 0-based byte offset of the found text (or -2).
  rt::Text MatchText(int matchNumber, int* position = nullptr) const;
  rt::Text SubMatchText(int matchNumber, int subMatchNumber, int* position = nullptr) const;
  int SubMatchCount() const;

private:
  // First, so that COM is initialised before the objects exist and uninitialised after.
  rt::ScopedComInit com_;
  rt::ComObject regExpObject;
  rt::ComObject matchCollection;
  rt::ComVariant subjectVariant;
};

}  // namespace web
