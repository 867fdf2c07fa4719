#include "rt/shell.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "rt/wide.h"

namespace {

TEST(SpecialFolder, DesktopIsAnExistingDirectoryEndingInABackslash) {
  const rt::Text desktop = rt::SpecialFolder(rt::kDesktopFolder);
  ASSERT_FALSE(desktop.empty());
  EXPECT_EQ('\\', desktop.str().back());
  const DWORD attributes = ::GetFileAttributesW(rt::WidenGbk(desktop).c_str());
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(SpecialFolder, OtherFoldersAreUnknown) {
  EXPECT_TRUE(rt::SpecialFolder(0).empty());
  EXPECT_TRUE(rt::SpecialFolder(99).empty());
}

}  // namespace
