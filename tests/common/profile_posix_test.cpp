// How the Linux profile writer treats the file itself: atomic replacement,
// mode kept, links followed, unreadable files never replaced.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/profile.h"
#include "common/text_util.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

TEST(ProfileWriter, ReplacesTheFileWholeAndKeepsItsMode) {
  test::TempDir dir;
  const std::wstring path = dir.File(L"config.ini");
  test::WriteBytes(path, "[Config]\r\nInterval=5\r\n");
  ASSERT_EQ(chmod(WideToUtf8(path).c_str(), 0640), 0);
  struct stat before {};
  ASSERT_EQ(stat(WideToUtf8(path).c_str(), &before), 0);

  EXPECT_TRUE(WriteProfileValue(path, L"Config", L"Interval", L"7"));
  struct stat after {};
  ASSERT_EQ(stat(WideToUtf8(path).c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  // A new inode: readers see the old file or the new one, never a mix.
  EXPECT_NE(after.st_ino, before.st_ino);
  EXPECT_EQ(test::ReadBytes(path), "[Config]\r\nInterval=7\r\n");
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(dir.Path())), fs::directory_iterator()), 1);
}

TEST(ProfileWriter, AnUnchangedValueDoesNotTouchTheFile) {
  test::TempDir dir;
  const std::wstring path = dir.File(L"config.ini");
  test::WriteBytes(path, "[Config]\r\nInterval = 5\r\n");
  struct stat before {};
  ASSERT_EQ(stat(WideToUtf8(path).c_str(), &before), 0);
  EXPECT_TRUE(WriteProfileValue(path, L"config", L"interval", L"5"));
  struct stat after {};
  ASSERT_EQ(stat(WideToUtf8(path).c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST(ProfileWriter, WritesThroughASymbolicLink) {
  test::TempDir dir;
  const std::wstring real = dir.File(L"real.ini");
  const std::wstring link = dir.File(L"link.ini");
  test::WriteBytes(real, "[s]\r\nk=1\r\n");
  fs::create_symlink(fs::path(real), fs::path(link));
  EXPECT_TRUE(WriteProfileValue(link, L"s", L"k", L"2"));
  EXPECT_TRUE(fs::is_symlink(fs::path(link)));
  EXPECT_EQ(test::ReadBytes(real), "[s]\r\nk=2\r\n");
}

TEST(ProfileWriter, NeverReplacesAFileItCannotRead) {
  test::TempDir dir;
  // Reading /proc/self/mem from offset 0 fails with EIO, even for root.
  const std::wstring path = dir.File(L"unreadable.ini");
  fs::create_symlink("/proc/self/mem", fs::path(path));
  EXPECT_FALSE(WriteProfileValue(path, L"s", L"k", L"1"));
  EXPECT_TRUE(fs::is_symlink(fs::path(path)));
  EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(dir.Path())), fs::directory_iterator()), 1);
  // A directory in the file's place is not a file to replace either.
  const std::wstring folder = dir.File(L"folder.ini");
  fs::create_directory(fs::path(folder));
  EXPECT_FALSE(WriteProfileValue(folder, L"s", L"k", L"1"));
  EXPECT_TRUE(fs::is_directory(fs::path(folder)));
}

TEST(ProfileWriter, AFifoOrADeviceIsNoProfile) {
  test::TempDir dir;
  const std::wstring fifo = dir.File(L"fifo.ini");
  ASSERT_EQ(mkfifo(WideToUtf8(fifo).c_str(), 0600), 0);
  const std::wstring zero = dir.File(L"zero.ini");
  fs::create_symlink("/dev/zero", fs::path(zero));
  // Neither blocks nor reads forever.
  EXPECT_EQ(ProfileReader(fifo).GetInt(L"s", L"k", 3), 3u);
  EXPECT_EQ(ProfileReader(zero).GetString(L"s", L"k", L"d"), L"d");
  EXPECT_FALSE(WriteProfileValue(fifo, L"s", L"k", L"1"));
  EXPECT_FALSE(WriteProfileValue(zero, L"s", L"k", L"1"));
  struct stat st {};
  ASSERT_EQ(stat(WideToUtf8(fifo).c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(ProfileWriter, ConcurrentWritersNeverLeaveAHalfFile) {
  test::TempDir dir;
  const std::wstring path = dir.File(L"race.ini");
  std::string big = "[big]\r\n";
  for (int i = 0; i < 2000; ++i) big += "key" + std::to_string(i) + "=value\r\n";
  test::WriteBytes(path, big);
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(WriteProfileValue(path, L"big", L"key0", std::to_wstring(t * 100 + i)));
      }
    });
  }
  for (int i = 0; i < 50; ++i) {
    ProfileReader reader(path);
    EXPECT_EQ(reader.GetString(L"big", L"key1999", L"torn"), L"value");
  }
  for (std::thread& w : writers) w.join();
}

}  // namespace
}  // namespace qv
