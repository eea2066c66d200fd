// Runs natively against IniFile and, cross-compiled, against the real
// Windows profile functions under Wine.
#include "profile.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace qv {
namespace {

TEST(Profile, ReadsValuesWithoutCaseAndTrimmed) {
  test::TempDir dir;
  std::wstring ini = dir.File(L"a.ini");
  test::WriteBytes(ini, "[section1]\r\nname1 =  val1  \r\nq=\"val2\"\r\n");
  ProfileReader reader(ini);
  EXPECT_EQ(reader.GetString(L"SECTION1", L"NaMe1", L"def"), L"val1");
  EXPECT_EQ(reader.GetString(L"section1", L"q", L"def"), L"val2");
  EXPECT_EQ(reader.GetString(L"section1", L"missing", L"def"), L"def");
}

TEST(Profile, WritesAKeyAndReadsItBack) {
  test::TempDir dir;
  std::wstring ini = dir.File(L"new.ini");
  EXPECT_TRUE(WriteProfileValue(ini, L"App", L"key", L"value"));
  EXPECT_EQ(test::ReadBytes(ini), "[App]\r\nkey=value\r\n");
  ProfileReader reader(ini);
  EXPECT_EQ(reader.GetString(L"app", L"KEY", L""), L"value");
}

}  // namespace
}  // namespace qv
