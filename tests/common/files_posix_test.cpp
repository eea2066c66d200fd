// The file functions against what another account may leave in a directory
// it can write: links and FIFOs.
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

std::string N(const std::wstring& path) { return WideToUtf8(path); }

void Link(const std::wstring& target, const std::wstring& link) {
  ASSERT_EQ(symlink(N(target).c_str(), N(link).c_str()), 0);
}

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
  EXPECT_FALSE(AppendToFile(F(L"log.txt"), "line\r\n"));
  EXPECT_EQ(test::ReadBytes(victim), "root only\n");

  Link(elsewhere.File(L"new"), F(L"dangling.txt"));
  EXPECT_FALSE(AppendToFile(F(L"dangling.txt"), "line\r\n"));
  EXPECT_FALSE(fs::exists(fs::path(N(elsewhere.File(L"new")))));
}

TEST_F(FilesPosix, AFifoIsNeitherWrittenNorReadNorCopiedAndNothingWaits) {
  const std::wstring fifo = F(L"fifo");
  ASSERT_EQ(mkfifo(N(fifo).c_str(), 0666), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(AppendToFile(fifo, "line\r\n"));  // no reader
  EXPECT_FALSE(ReadWholeFile(fifo));             // no writer
  EXPECT_FALSE(CopyFileReplace(fifo, F(L"copy"), true));
  EXPECT_FALSE(fs::exists(fs::path(N(F(L"copy")))));
  // With a reader on the other end the open would succeed: still refused.
  const int reader = open(N(fifo).c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_FALSE(AppendToFile(fifo, "line\r\n"));
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

}  // namespace
}  // namespace qv
