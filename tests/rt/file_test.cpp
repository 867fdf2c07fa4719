#include "rt/file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "common/bytes.h"
#include "rt/handle_owners.h"
#include "rt/wide.h"

namespace {

using test_common::ReadAll;

std::wstring TempDir() {
  wchar_t buffer[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH, buffer);
  return buffer;
}

class WriteFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    path_ = rt::NarrowToGbk(TempDir().c_str()) + "写入测试.bin";
    wide_ = rt::WidenGbk(path_);
    ::DeleteFileW(wide_.c_str());
  }
  void TearDown() override { ::DeleteFileW(wide_.c_str()); }
  rt::Text path_;
  std::wstring wide_;
};

TEST_F(WriteFileTest, CreatesThenTruncatesWithEveryByte) {
  const rt::ByteSet big(std::string(300000, 'x') + std::string(1, '\0') + "end");
  ASSERT_TRUE(rt::WriteFile(path_, big));
  EXPECT_EQ(big.str(), ReadAll(path_));
  ASSERT_TRUE(rt::WriteFile(path_, rt::ByteSet(std::string("ab"))));
  EXPECT_EQ("ab", ReadAll(path_));
  ASSERT_TRUE(rt::WriteFile(path_, rt::ByteSet()));
  EXPECT_EQ("", ReadAll(path_));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(wide_.c_str()));
}

TEST_F(WriteFileTest, FailsWithoutWritingWhenTheFileIsHeld) {
  ASSERT_TRUE(rt::WriteFile(path_, rt::ByteSet(std::string("old"))));
  rt::UniqueKernelHandle held = rt::AdoptFile(::CreateFileW(
      wide_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  EXPECT_FALSE(rt::WriteFile(path_, rt::ByteSet(std::string("new"))));
  held.reset();
  EXPECT_EQ("old", ReadAll(path_));
}

// The earlier content survives every failed replace, and no temporary file is left behind.
TEST_F(WriteFileTest, ReplaceKeepsTheEarlierFileUnlessTheNewOneIsWhole) {
  const std::wstring temporary = rt::WidenGbk(path_ + ".tmp");
  ASSERT_TRUE(rt::WriteFile(path_, rt::ByteSet(std::string("old"))));
  rt::UniqueKernelHandle held = rt::AdoptFile(
      ::CreateFileW(wide_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  EXPECT_FALSE(rt::ReplaceFileAtomically(path_, rt::ByteSet(std::string("new"))));
  held.reset();
  EXPECT_EQ("old", ReadAll(path_));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(temporary.c_str()));

  // A reader that lets go within the retries only delays the replace.
  held = rt::AdoptFile(::CreateFileW(wide_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  std::thread reader([&held] {
    ::Sleep(150);
    held.reset();
  });
  EXPECT_TRUE(rt::ReplaceFileAtomically(path_, rt::ByteSet(std::string("new"))));
  reader.join();
  EXPECT_EQ("new", ReadAll(path_));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(temporary.c_str()));
}

TEST(WriteFile, EmptyPathAndMissingDirectoryFail) {
  EXPECT_FALSE(rt::WriteFile(rt::Text(), rt::ByteSet(std::string("x"))));
  const rt::Text missing = rt::NarrowToGbk(TempDir().c_str()) + "没有这个目录\\f.bin";
  EXPECT_FALSE(rt::WriteFile(missing, rt::ByteSet(std::string("x"))));
  EXPECT_FALSE(rt::ReplaceFileAtomically(missing, rt::ByteSet(std::string("x"))));
}

}  // namespace
