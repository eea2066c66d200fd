#include "common/server_info.h"

#include <gtest/gtest.h>

#include "common/profile.h"
#include "tests/support/test_support.h"

namespace qv {
namespace {

// The Configurator reads the same sections but keeps "Hardware" as written.
TEST(ServerSections, BackslashesAreDoubledOnlyWhenAsked) {
  test::TempDir dir;
  const std::wstring path = dir.File(L"quorvanex.ini");
  test::WriteBytes(path, "[Config]\r\nCount=2\r\n[Quorvanex_2]\r\nServer=127.0.0.2\r\nHardware=USB\\VID_1\\2\r\n");
  ProfileReader ini(path);
  std::vector<QuorvanexServerInfo> kept = ReadServerSections(ini, false);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].index, 1);
  EXPECT_EQ(kept[0].hardware, L"USB\\VID_1\\2");
  std::vector<QuorvanexServerInfo> doubled = ReadServerSections(ini, true);
  ASSERT_EQ(doubled.size(), 1u);
  EXPECT_EQ(doubled[0].hardware, L"USB\\\\VID_1\\\\2");
}

}  // namespace
}  // namespace qv
