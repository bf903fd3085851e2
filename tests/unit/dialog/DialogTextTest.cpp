#include "runtime/dialog/Dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

// The items of a platform filter list, up to its closing double NUL.
std::vector<std::wstring> FilterItems(const std::wstring& text) {
  std::vector<std::wstring> items;
  for (const wchar_t* item = text.c_str(); *item; item += items.back().size() + 1) items.emplace_back(item);
  return items;
}

TEST(FilterText, BarsBecomeNulsAndThreeNulsCloseTheList) {
  EXPECT_EQ(BuildFilterText(L"Firmware (*.fw)|*.fw;"), L"Firmware (*.fw)\0*.fw;\0\0\0"s);
  EXPECT_EQ(BuildFilterText(nullptr), L"\0\0\0"s);
  std::vector<std::wstring> two{L"Firmware (*.fw)", L"*.fw", L"All (*.*)", L"*.*;*.bin"};
  EXPECT_EQ(FilterItems(BuildFilterText(L"Firmware (*.fw)|*.fw|All (*.*)|*.*;*.bin")), two);
  EXPECT_EQ(FilterItems(BuildFilterText(L"Firmware (*.fw)|*.fw|All (*.*)|*.*;*.bin|")), two);
}

TEST(DefaultFile, SplitsAtTheLastBackslashAfterTheFirstCharacter) {
  auto split = [](const wchar_t* text) {
    DefaultFileParts parts = SplitDefaultFile(text);
    return std::vector<std::wstring>{parts.folder, parts.name};
  };
  using Parts = std::vector<std::wstring>;
  EXPECT_EQ(split(L"C:\\firmware\\v2\\new.fw"), (Parts{L"C:\\firmware\\v2", L"new.fw"}));
  EXPECT_EQ(split(L"trx.fw"), (Parts{L"", L"trx.fw"}));
  EXPECT_EQ(split(L"C:\\firmware\\"), (Parts{L"C:\\firmware", L""}));
  EXPECT_EQ(split(L"\\trx.fw"), (Parts{L"", L""})) << "taken whole, and a backslash is no name";
  EXPECT_EQ(split(L"C:/firmware/new.fw"), (Parts{L"", L""})) << "taken whole, and ':' and '/' are no name";
  EXPECT_EQ(split(L""), (Parts{L"", L""}));
}

TEST(DefaultFile, InvalidNamesLeaveTheNameEmptyAndLongOnesAreCut) {
  for (const wchar_t* name : {L"a\"b", L"a*b", L"a<b", L"a>b", L"a?b", L"a|b", L"a\tb", L"a:b"})
    EXPECT_EQ(SplitDefaultFile((L"C:\\fw\\"s + name).c_str()).name, L"") << name;
  std::wstring longName(300, L'n');
  EXPECT_EQ(SplitDefaultFile((L"C:\\fw\\" + longName).c_str()).name, longName.substr(0, 259));
  EXPECT_TRUE(IsValidFileName(L"Pr\u00fcfung \u03a9 (1).fw"));
}

}  // namespace
