#include "pomvex/pomvex.h"

#include <gtest/gtest.h>

#include "common/text_util.h"
#include "pomvex/messages.h"

namespace qv::pomvex {
namespace {

using Args = std::vector<std::wstring>;

TEST(PomvexArguments, ShowsNoBoxWithoutBothTextAndCaption) {
  EXPECT_FALSE(BoxFromArguments({}));
  EXPECT_FALSE(BoxFromArguments({L"Pomvex.exe"}));
  EXPECT_FALSE(BoxFromArguments({L"Pomvex.exe", L"text only"}));
}

TEST(PomvexArguments, TakesTextThenCaptionAndIgnoresTheRest) {
  auto box = BoxFromArguments({L"Pomvex.exe", L"本文", L"注意", L"third", L"fourth"});
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, L"本文");
  EXPECT_EQ(box->caption, L"注意");

  box = BoxFromArguments({L"Pomvex.exe", L"", L"caption"});
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, L"");
  EXPECT_EQ(box->caption, L"caption");
}

TEST(PomvexArguments, KeepsLineBreaksAndBackslashesAsGiven) {
  auto box = BoxFromArguments({L"Pomvex.exe", L"line1\nline2", L"a\\nb\\t%s"});
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, L"line1\nline2");
  EXPECT_EQ(box->caption, L"a\\nb\\t%s");
}

// Records what the program did through its ports.
struct Recorder {
  PlatformInitResult init = PlatformInitResult::Ok;
  bool boxAppears = true;
  std::vector<BoxRequest> boxes;
  std::wstring output;

  Ports MakePorts() {
    return {[this] { return init; },
            [this](const BoxRequest& b) {
              boxes.push_back(b);
              return boxAppears;
            },
            [this](std::wstring_view text) { output.append(text); }};
  }
};

TEST(PomvexRun, ShowsOneBoxSilentlyAndExitsZero) {
  Recorder r;
  EXPECT_EQ(RunProgram({L"Pomvex.exe", L"a\nb", L"注意", L"x"}, r.MakePorts()), 0);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].text, L"a\nb");
  EXPECT_EQ(r.boxes[0].caption, L"注意");
  EXPECT_EQ(r.output, L"");

  Recorder none;
  EXPECT_EQ(RunProgram({L"Pomvex.exe", L"a"}, none.MakePorts()), 0);
  EXPECT_TRUE(none.boxes.empty());
  EXPECT_EQ(none.output, L"");
}

TEST(PomvexRun, AStartUpFailurePrintsItsTextAndEndsBeforeTheBox) {
  for (const Args& args : {Args{L"Pomvex.exe"}, Args{L"Pomvex.exe", L"t", L"c"}}) {
    Recorder r;
    r.init = PlatformInitResult::NoModuleHandle;
    EXPECT_EQ(RunProgram(args, r.MakePorts()), 1);
    EXPECT_EQ(r.output, msg::kFatalNoModuleHandle);
    EXPECT_TRUE(r.boxes.empty());
  }
}

TEST(PomvexRun, ABoxThatNeverAppearedIsNotReportedAsSuccess) {
  Recorder r;
  r.boxAppears = false;
  EXPECT_EQ(RunProgram({L"Pomvex.exe", L"t", L"c"}, r.MakePorts()), 1);
  EXPECT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.output, L"");
}

TEST(PomvexRun, StartUpTextIsExactToTheByte) {
  // Guards against a compiler reading the sources in another code page.
  EXPECT_EQ(WideToUtf8(msg::kFatalNoModuleHandle),
            "\xe8\x87\xb4\xe5\x91\xbd\xe7\x9a\x84\xe3\x81\xaa\xe3\x82\xa8\xe3\x83\xa9\xe3\x83\xbc: "
            "GetModuleHandle \xe3\x81\x8c\xe5\xa4\xb1\xe6\x95\x97\xe3\x81\x97\xe3\x81\xbe\xe3\x81\x97"
            "\xe3\x81\x9f\x0a");
}

}  // namespace
}  // namespace qv::pomvex
