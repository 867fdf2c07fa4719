#include "rt/text.h"

#include <gtest/gtest.h>

namespace rt {
namespace {

TEST(FindText, NeverMatchesAtATrailByte) {
  // "中" is D6 D0; seeking D0 41 must not match inside the character.
  const Text s("\xD6\xD0\x41\xD0\x41");
  EXPECT_EQ(FindText(s, Text("\xD0\x41")), 4);
}

}  // namespace
}  // namespace rt
