// The port list that start-up fills: the real fwupdater.exe against virtual
// devices on the bench's ports.
#include "tests/support/UpdaterDriver.h"
#include "tests/support/VirtualDevice.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

std::wstring TempFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return temp;
}

TEST(PortProbe, ListsThePortsThatOpenInOrderAndNothingAboveNinetyNine) {
  VirtualDevice com3, com10, com100;
  ASSERT_TRUE(com10.Start(10)) << com10.Failure();
  ASSERT_TRUE(com3.Start(3)) << com3.Failure();
  ASSERT_TRUE(com100.Start(100)) << com100.Failure();
  UpdaterDriver updater(TempFolder());
  ASSERT_TRUE(updater.Started()) << updater.Failure();

  EXPECT_EQ(updater.PortItems(), (std::vector<std::wstring>{L"COM3", L"COM10"}));
  EXPECT_EQ(SendMessageW(updater.PortList(), CB_GETCURSEL, 0, 0), CB_ERR) << "nothing is selected";
  // Each port the probe opened was left at 9600 baud, 8N1, and nothing was sent.
  for (VirtualDevice* device : {&com3, &com10}) {
    EXPECT_TRUE(device->WaitForEvent("settings 9600 8 N 1")) << testing::PrintToString(device->PortName());
    EXPECT_EQ(device->Log(), "");
  }
  EXPECT_FALSE(com100.HasEvent("settings 9600 8 N 1")) << "COM100 is never tried";
}

}  // namespace
