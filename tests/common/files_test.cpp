#include "common/files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "common/system.h"
#include "common/text_util.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

HeldDirectory Held(const test::TempDir& dir) { return *OpenExistingDirectory(dir.Path(), dir.Path()); }

TEST(ReplaceFileAtomically, ReplacesTheFileAndLeavesNoTemporaryBehind) {
  test::TempDir dir;
  const std::wstring path = dir.File(L"m.prom");
  ASSERT_TRUE(ReplaceFileAtomically(Held(dir), L"m.prom", "first\n"));
  EXPECT_EQ(test::ReadBytes(path), "first\n");
  ASSERT_TRUE(ReplaceFileAtomically(Held(dir), L"m.prom", "second\n"));
  EXPECT_EQ(test::ReadBytes(path), "second\n");
  EXPECT_EQ(ListFilesEndingWith(dir.Path(), L""), std::vector<std::wstring>{L"m.prom"});
}

TEST(ReplaceFileAtomically, FailsWithoutTraceWhereTheFileCannotBe) {
  test::TempDir dir;
  EXPECT_FALSE(OpenExistingDirectory(dir.File(L"missing"), dir.Path()));
  EXPECT_FALSE(PathExists(dir.File(L"missing")));
  // A directory in the file's place is not replaced, and no temporary stays.
  ASSERT_TRUE(MakeDirectory(dir.File(L"m.prom")));
  EXPECT_FALSE(ReplaceFileAtomically(Held(dir), L"m.prom", "x"));
  EXPECT_TRUE(IsDirectory(dir.File(L"m.prom")));
  EXPECT_EQ(ListFilesEndingWith(dir.Path(), L""), std::vector<std::wstring>{});
}

TEST(ReplaceFileAtomically, AReaderFindsOneWholeFileWhileTwoWritersReplaceIt) {
  test::TempDir dir;
  const std::wstring path = dir.File(L"m.prom");
  const std::string a(200000, 'a');
  const std::string b(150000, 'b');
  const HeldDirectory held = Held(dir);
  ASSERT_TRUE(ReplaceFileAtomically(held, L"m.prom", a));
  constexpr int kReads = 20;
  std::atomic<bool> done{false};
  std::atomic<int> reads{0};
  int torn = 0;
  std::thread reader([&] {
    while (!done.load()) {
      // An open that meets the rename may fail on Windows; a short read may not.
      if (std::optional<std::string> seen = ReadWholeFile(path)) {
        if (*seen != a && *seen != b) ++torn;
        ++reads;
      }
      // Gaps for the writer, which Windows keeps waiting while the file is open.
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  // Two writers, as two Monitors sharing the directory would be, go on until
  // the reader has read often enough (the cap only ends a reader that cannot
  // read at all). A replace the reader holds up may fail: only torn files count.
  auto writer = [&](const std::string& bytes) {
    for (int i = 0; reads.load() < kReads && i < 50000; ++i) {
      static_cast<void>(ReplaceFileAtomically(held, L"m.prom", bytes));
    }
  };
  std::thread other(writer, b);
  writer(a);
  other.join();
  done.store(true);
  reader.join();
  EXPECT_EQ(torn, 0) << "of " << reads.load() << " reads";
  EXPECT_GE(reads.load(), kReads);
  const std::string last = test::ReadBytes(path);
  EXPECT_TRUE(last == a || last == b);
}

TEST(ReplaceFileAtomically, WaitsOutAReaderThatHoldsTheFileBriefly) {
  test::TempDir dir;
  const std::wstring path = dir.File(L"m.prom");
  const HeldDirectory directory = Held(dir);
  ASSERT_TRUE(ReplaceFileAtomically(directory, L"m.prom", "old\n"));
  // The C runtime shares the file for reading and writing only, as the
  // exporters' runtimes do; the reader lets go after 20 ms.
  auto held = std::make_unique<std::ifstream>(std::filesystem::path(path));
  ASSERT_TRUE(held->is_open());
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    held.reset();
  });
  EXPECT_TRUE(ReplaceFileAtomically(directory, L"m.prom", "new\n"));
  reader.join();
  EXPECT_EQ(test::ReadBytes(path), "new\n");
}

TEST(ReplaceFileAtomically, WritesNothingThroughANamePlantedBesideTheFile) {
  test::TempDir dir;
  const std::wstring victim = dir.File(L"victim");
  test::WriteBytes(victim, "keep");
  // The temporary's name was once fixed: a link there was written through.
  std::filesystem::create_hard_link(std::filesystem::path(victim), std::filesystem::path(dir.File(L"m.prom.tmp")));
  ASSERT_TRUE(ReplaceFileAtomically(Held(dir), L"m.prom", "new\n"));
  EXPECT_EQ(test::ReadBytes(victim), "keep");
  EXPECT_EQ(test::ReadBytes(dir.File(L"m.prom")), "new\n");
}

TEST(RemoveStaleTemporaries, RemovesOnlyOurOwnTemporariesLeftLongAgo) {
  test::TempDir dir;
  const auto now = std::filesystem::file_time_type::clock::now();
  const struct {
    const wchar_t* name;
    std::chrono::minutes age;
    bool stays;
  } cases[] = {
      {L".m.prom.0123456789abcdef", std::chrono::minutes(11), false},
      {L".m.prom.fedcba9876543210", std::chrono::minutes(1), true},  // a writer may still hold it
      {L".m.prom.0123456789abcdeg", std::chrono::minutes(11), true},  // not a name we make
      {L".x.prom.0123456789abcdef", std::chrono::minutes(11), true},  // another file's
  };
  for (const auto& c : cases) {
    test::WriteBytes(dir.File(c.name), "x");
    std::filesystem::last_write_time(std::filesystem::path(dir.File(c.name)), now - c.age);
  }
  RemoveStaleTemporaries(Held(dir), L"m.prom");
  for (const auto& c : cases) EXPECT_EQ(PathExists(dir.File(c.name)), c.stays) << WideToUtf8(c.name);
}

}  // namespace
}  // namespace qv
