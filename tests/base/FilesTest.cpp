#include "base/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

namespace tarvel {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tarvel-files-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  size_t EntryCount() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {})); }
  fs::path dir_;
};

TEST_F(FilesTest, WritesAndReplacesWholeFiles) {
  const fs::path p = dir_ / "out.bin";
  const std::vector<uint8_t> first(100000, 0xA5);
  WriteFileAtomically(p, first);
  EXPECT_EQ(ReadWholeFile(p), first);
  WriteFileAtomically(p, std::string_view("short"));
  const std::vector<uint8_t> expected = {'s', 'h', 'o', 'r', 't'};
  EXPECT_EQ(ReadWholeFile(p), expected);
  EXPECT_EQ(EntryCount(), 1u);  // no temporary file left behind
  struct stat st {};
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IRGRP, 0u) << "file should follow the umask, not stay private";
}

TEST_F(FilesTest, AFailedWriteLeavesTheOldFileAndNoDebris) {
  const fs::path target = dir_ / "target";
  fs::create_directories(target / "child");  // a non-empty directory cannot be replaced by a file
  EXPECT_THROW(WriteFileAtomically(target, std::string_view("data")), FileError);
  EXPECT_TRUE(fs::is_directory(target / "child"));
  EXPECT_EQ(EntryCount(), 1u);
  EXPECT_THROW(WriteFileAtomically(dir_ / "missing-dir" / "x", std::string_view("data")), FileError);
}

TEST_F(FilesTest, ReadingAMissingFileThrowsWithItsName) {
  try {
    ReadWholeFile(dir_ / "nope.hex");
    FAIL();
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("nope.hex"), std::string::npos);
  }
}

}  // namespace
}  // namespace tarvel
