// The file functions against what another account may leave in a directory
// it can write: links, FIFOs, and a directory swapped for a link.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "common/files.h"
#include "common/system.h"
#include "common/text_util.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Not the uid of anybody here: the account that planted a link.
constexpr uid_t kStranger = 64123;

std::string N(const std::wstring& path) { return WideToUtf8(path); }

void Link(const std::wstring& target, const std::wstring& link) {
  ASSERT_EQ(symlink(N(target).c_str(), N(link).c_str()), 0);
}

// Gives the link itself to `uid`; only root may.
bool LinkOwnedBy(const std::wstring& link, uid_t uid) { return lchown(N(link).c_str(), uid, uid) == 0; }

class FilesPosix : public testing::Test {
 protected:
  std::wstring F(const wchar_t* name) const { return dir.File(name); }
  test::TempDir dir;
  test::TempDir elsewhere;  // where a planted link leads
};

TEST_F(FilesPosix, AppendRefusesALinkAtTheNameAndMakesNothingThroughIt) {
  const std::wstring victim = elsewhere.File(L"victim");
  test::WriteBytes(victim, "root only\n");
  Link(victim, F(L"log.txt"));
  EXPECT_FALSE(AppendToFile(F(L"log.txt"), "line\r\n").opened);
  EXPECT_EQ(test::ReadBytes(victim), "root only\n");

  Link(elsewhere.File(L"new"), F(L"dangling.txt"));
  EXPECT_FALSE(AppendToFile(F(L"dangling.txt"), "line\r\n").opened);
  EXPECT_FALSE(fs::exists(fs::path(N(elsewhere.File(L"new")))));
}

TEST_F(FilesPosix, AFileRootMakesByAppendingGoesToTheDirectorysOwner) {
  if (geteuid() != 0) GTEST_SKIP() << "only root makes files for another account";
  ASSERT_EQ(chown(N(dir.Path()).c_str(), kStranger, kStranger), 0);
  test::WriteBytes(F(L"old.log"), "made before\n");
  for (const wchar_t* name : {L"mail.log", L"old.log"}) ASSERT_TRUE(AppendToFile(F(name), "line\n").complete);
  struct stat made {}, old {};
  ASSERT_EQ(stat(N(F(L"mail.log")).c_str(), &made), 0);
  ASSERT_EQ(stat(N(F(L"old.log")).c_str(), &old), 0);
  EXPECT_EQ(made.st_uid, kStranger);
  EXPECT_EQ(old.st_uid, 0u);
}

TEST_F(FilesPosix, AFifoIsNeitherWrittenNorReadNorCopiedAndNothingWaits) {
  const std::wstring fifo = F(L"fifo");
  ASSERT_EQ(mkfifo(N(fifo).c_str(), 0666), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(AppendToFile(fifo, "line\r\n").opened);  // no reader
  EXPECT_FALSE(ReadWholeFile(fifo));             // no writer
  EXPECT_FALSE(CopyFileReplace(fifo, F(L"copy"), true));
  EXPECT_FALSE(fs::exists(fs::path(N(F(L"copy")))));
  // With a reader on the other end the open would succeed: still refused.
  const int reader = open(N(fifo).c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_FALSE(AppendToFile(fifo, "line\r\n").opened);
  close(reader);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

TEST_F(FilesPosix, CopyRemovesALinkAtTheTargetNameInsteadOfFollowingIt) {
  test::WriteBytes(F(L"mail.ini"), "[Config]\r\nPassword=secret\r\n");
  const std::wstring planted = elsewhere.File(L"new");
  Link(planted, F(L"mail_12345.ini"));
  EXPECT_TRUE(CopyFileReplace(F(L"mail.ini"), F(L"mail_12345.ini"), true));
  EXPECT_FALSE(fs::exists(fs::path(N(planted))));
  EXPECT_FALSE(fs::is_symlink(fs::path(N(F(L"mail_12345.ini")))));
  EXPECT_EQ(test::ReadBytes(F(L"mail_12345.ini")), "[Config]\r\nPassword=secret\r\n");
  struct stat st {};
  ASSERT_EQ(stat(N(F(L"mail_12345.ini")).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(FilesPosix, ANewFileIsNeverMadeThroughALinkOrOverAnything) {
  Link(elsewhere.File(L"new"), F(L"copy"));
  EXPECT_FALSE(CreateNewFile(F(L"copy")));
  EXPECT_FALSE(fs::exists(fs::path(N(elsewhere.File(L"new")))));
  test::WriteBytes(F(L"taken"), "x");
  EXPECT_FALSE(CreateNewFile(F(L"taken")));
  EXPECT_TRUE(CreateNewFile(F(L"fresh"), true));
  EXPECT_EQ(fs::file_size(fs::path(N(F(L"fresh")))), 0u);
}

TEST_F(FilesPosix, DirectoryLevelsAreMadeAndAStrangersLinkOnTheWayIsRefused) {
  const std::wstring deep = JoinPath(JoinPath(F(L"a"), L"b"), L"c");
  ASSERT_TRUE(OpenDirectoryCreatingLevels(deep, dir.Path()));
  EXPECT_TRUE(IsDirectory(deep));

  // A link owned by root (or by the program directory's owner) is followed.
  Link(elsewhere.Path(), F(L"log"));
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a link to another account";
  ASSERT_TRUE(LinkOwnedBy(F(L"log"), 0));
  EXPECT_TRUE(OpenDirectoryCreatingLevels(JoinPath(F(L"log"), L"sub"), dir.Path()));
  EXPECT_TRUE(IsDirectory(elsewhere.File(L"sub")));

  // One that the account writing below the program directory planted is not,
  // at the end of the path or on the way.
  ASSERT_TRUE(LinkOwnedBy(F(L"log"), kStranger));
  EXPECT_FALSE(OpenDirectoryCreatingLevels(F(L"log"), dir.Path()));
  EXPECT_FALSE(OpenDirectoryCreatingLevels(JoinPath(F(L"log"), L"more"), dir.Path()));
  EXPECT_FALSE(fs::exists(fs::path(N(elsewhere.File(L"more")))));

  // Unless that account owns the program directory too.
  ASSERT_EQ(chown(N(dir.Path()).c_str(), kStranger, kStranger), 0);
  EXPECT_TRUE(OpenDirectoryCreatingLevels(F(L"log"), dir.Path()));
  ASSERT_EQ(chown(N(dir.Path()).c_str(), 0, 0), 0);
}

TEST_F(FilesPosix, AHeldDirectoryStaysTheSameWhenItsNameIsSwappedForALink) {
  const std::wstring log = F(L"log");
  std::optional<HeldDirectory> held = OpenDirectoryCreatingLevels(log, dir.Path());
  ASSERT_TRUE(held);
  // Moved away and a link put in its place, as a race against the writer would.
  fs::rename(fs::path(N(log)), fs::path(N(F(L"moved"))));
  Link(elsewhere.Path(), log);
  ASSERT_TRUE(AppendToFile(JoinPath(held->Path(), L"log.txt"), "line\r\n").complete);
  EXPECT_EQ(test::ReadBytes(JoinPath(F(L"moved"), L"log.txt")), "line\r\n");
  EXPECT_FALSE(fs::exists(fs::path(N(elsewhere.File(L"log.txt")))));
  // Renames and deletions in it work through the held name too.
  EXPECT_TRUE(MoveFileNoReplace(JoinPath(held->Path(), L"log.txt"), JoinPath(held->Path(), L"old_log.txt")));
  EXPECT_EQ(ListFilesEndingWith(held->Path(), L"_log.txt"), std::vector<std::wstring>{L"old_log.txt"});
  EXPECT_TRUE(RemoveFile(JoinPath(held->Path(), L"old_log.txt")));
}

}  // namespace
}  // namespace qv
