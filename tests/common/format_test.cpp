#include "common/format.h"

#include <gtest/gtest.h>

#include <climits>

namespace qv {
namespace {

TEST(Format, ReplacesEachConversionInOrder) {
  std::wstring name = L"srv";
  EXPECT_EQ(Format(L"%s|%d|%s\n", std::wstring(L"2026/12/06"), 0, name), L"2026/12/06|0|srv\n");
  EXPECT_EQ(Format(L"Quorvanex_%d", 12), L"Quorvanex_12");
  EXPECT_EQ(Format(L"like '%s%%'", L"PCI\\\\VEN"), L"like 'PCI\\\\VEN%'");
}

TEST(Format, PrintsTheExtremesOfBothSignednesses) {
  EXPECT_EQ(Format(L"%d", INT_MIN), L"-2147483648");
  EXPECT_EQ(Format(L"%u", 4294967295u), L"4294967295");
  EXPECT_EQ(Format(L"%d", std::int64_t{-9000000000}), L"-9000000000");
  // %u of a negative value shows its 32 bits, as printf does.
  EXPECT_EQ(Format(L"%u", -1), L"4294967295");
}

TEST(Format, PrintsANullStringAsTheRuntimeDoes) {
  const wchar_t* none = nullptr;
  EXPECT_EQ(Format(L"[%s]", none), L"[(null)]");
}

TEST(Format, KeepsTextWithoutConversionsAndLoneTrailingPercent) {
  EXPECT_EQ(Format(L"開始"), L"開始");
  EXPECT_EQ(Format(L"100%"), L"100%");
}

}  // namespace
}  // namespace qv
