#include "ControlFixture.h"

#include "runtime/base/DeviceContext.h"

#include <algorithm>

namespace {

using TextFieldTest = ControlTest;

constexpr std::int64_t kEnChange = EN_CHANGE;

bool HasType(const std::vector<ControlEvent>& events, std::int64_t type) {
  return std::any_of(events.begin(), events.end(), [&](const ControlEvent& e) { return e.type == type; });
}

TEST_F(TextFieldTest, SetTextQueuesNoChangeWhileAPlainWindowTextChangeDoes) {
  std::int64_t field = TextFieldCreate(-1, 90, 70, 200, 20, L"trx.fw", 0);
  ASSERT_NE(field, 0);
  EXPECT_EQ(ControlGetText(field), L"trx.fw");
  Drain();

  ControlSetText(field, L"Z:\\firmware\\new.fw");
  EXPECT_EQ(ControlGetText(field), L"Z:\\firmware\\new.fw");
  EXPECT_TRUE(Drain().empty());

  SetWindowTextW(ControlHandle(field), L"typed");
  std::vector<ControlEvent> plain = Drain();
  EXPECT_TRUE(HasType(plain, kEnChange));
  for (const ControlEvent& e : plain) EXPECT_EQ(e.object, field);

  ControlSetText(field, nullptr);
  EXPECT_EQ(ControlGetText(field), L"");
}

TEST_F(TextFieldTest, ReportsFocusGainedAndLost) {
  std::int64_t field = TextFieldCreate(-1, 90, 70, 200, 20, L"trx.fw", 0);
  std::int64_t button = PushButtonCreate(-1, 300, 70, 90, 20, L"Open", 0);
  SetFocus(ControlHandle(button));
  Drain();

  SetFocus(ControlHandle(field));
  std::vector<ControlEvent> gained = Drain();
  EXPECT_TRUE(HasType(gained, kControlFocusGained));
  EXPECT_TRUE(HasType(gained, EN_SETFOCUS));

  SetFocus(ControlHandle(button));
  EXPECT_TRUE(HasType(Drain(), kControlFocusLost));
}

TEST_F(TextFieldTest, SunkenEdgeUnlessFlat) {
  std::int64_t sunken = TextFieldCreate(-1, 10, 10, 100, 20, L"", 0);
  std::int64_t flat = TextFieldCreate(-1, 10, 40, 100, 20, L"", kTextFieldFlat);
  EXPECT_TRUE(GetWindowLongPtrW(ControlHandle(sunken), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_FALSE(GetWindowLongPtrW(ControlHandle(flat), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
}

TEST_F(TextFieldTest, ColoursAnswerTheFieldsBrushOnlyOnceSet) {
  std::int64_t field = TextFieldCreate(-1, 10, 10, 100, 20, L"x", 0);
  HWND native = ControlHandle(field);
  WindowDc dc(native);
  auto colourMessage = [&] {
    return SendMessageW(Window(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc.get()),
                        reinterpret_cast<LPARAM>(native));
  };
  LRESULT platform = colourMessage();

  TextFieldSetColours(field, ColourFromRgb(255, 255, 0), ColourFromRgb(0, 0, 128));
  LRESULT brush = colourMessage();
  EXPECT_NE(brush, platform);
  EXPECT_NE(brush, 0);
  EXPECT_EQ(GetTextColor(dc.get()), RGB(255, 255, 0));
  EXPECT_EQ(GetBkColor(dc.get()), RGB(0, 0, 128));
  LOGBRUSH logical{};
  GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof logical, &logical);
  EXPECT_EQ(logical.lbColor, RGB(0, 0, 128));

  TextFieldSetColours(field, -1, -1);
  EXPECT_EQ(colourMessage(), platform);
}

}  // namespace
