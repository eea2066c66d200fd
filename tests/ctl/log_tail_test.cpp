#include "ctl/log_tail.h"

#include <gtest/gtest.h>

#include <map>

#include "common/codec.h"
#include "common/files.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

// Log lines as the writer stores them: code page 932, CR LF.
std::string Stored(std::initializer_list<const wchar_t*> lines) {
  std::string bytes;
  for (const wchar_t* line : lines) bytes += EncodeCp932(line) + "\r\n";
  return bytes;
}

TEST(LogTail, TheLastLinesReachIntoRotatedFilesOldestFirst) {
  const std::map<std::wstring, std::string> files = {
      {L"20261201_100000_log.txt", Stored({L"a1", L"a2"})},
      {L"20261202_100000_log.txt", Stored({L"b1", L"b2"})},
      {L"log.txt", Stored({L"開始", L"c2"}) + "half a li"},  // the writer is in the middle of a line
      {L"notes.txt", Stored({L"x"})},
  };
  struct Case {
    std::size_t count;
    std::vector<std::wstring> lines;
  } const cases[] = {
      {0, {}},
      {1, {L"c2"}},
      {2, {L"開始", L"c2"}},
      {3, {L"b2", L"開始", L"c2"}},
      {5, {L"a2", L"b1", L"b2", L"開始", L"c2"}},
      {100, {L"a1", L"a2", L"b1", L"b2", L"開始", L"c2"}},
  };
  test::TempDir dir;
  for (const auto& [name, bytes] : files) test::WriteBytes(dir.File(name), bytes);
  for (const Case& c : cases) EXPECT_EQ(LogTail(dir.Path()).Last(c.count), c.lines) << c.count << " lines";
}

TEST(LogTail, FollowingGoesOnThroughARotation) {
  test::TempDir dir;
  test::WriteBytes(dir.File(L"log.txt"), Stored({L"old"}) + "ne");
  LogTail tail(dir.Path());
  EXPECT_EQ(tail.Last(5), std::vector<std::wstring>{L"old"});
  EXPECT_EQ(tail.Next(), std::vector<std::wstring>{});

  test::WriteBytes(dir.File(L"log.txt"), Stored({L"old", L"new"}));  // the line is whole now
  EXPECT_EQ(tail.Next(), std::vector<std::wstring>{L"new"});

  // More lines, then the rotation and the first lines of the next file.
  test::WriteBytes(dir.File(L"log.txt"), Stored({L"old", L"new", L"last"}));
  ASSERT_TRUE(MoveFileNoReplace(dir.File(L"log.txt"), dir.File(L"20261208_101500_log.txt")));
  test::WriteBytes(dir.File(L"log.txt"), Stored({L"first"}));
  EXPECT_EQ(tail.Next(), (std::vector<std::wstring>{L"last", L"first"}));
  EXPECT_EQ(tail.Next(), std::vector<std::wstring>{});
}

}  // namespace
}  // namespace qv
