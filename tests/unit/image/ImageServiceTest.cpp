#include "PngFactory.h"

#include "app/Banner.h"
#include "runtime/base/ScopeExit.h"
#include "runtime/image/Image.h"
#include "tests/support/Process.h"

#include <gtest/gtest.h>
#include <png.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

class PngSupport : public testing::Environment {
 public:
  void SetUp() override { PngDecoderRegister(); }
};
const testing::Environment* const g_pngSupport = testing::AddGlobalTestEnvironment(new PngSupport);

std::vector<char> SourceBanner() {
  std::ifstream file(std::filesystem::path(WindowsPathOf(FWU_SOURCE_DIR "/assets/banner.png")), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The banner decoded on its own with libpng's simplified reader: B, G, R rows.
std::vector<std::uint8_t> BannerByLibpng(std::span<const std::byte> banner) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, banner.data(), banner.size())) return {};
  image.format = PNG_FORMAT_BGR;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  return pixels;
}

TEST(Banner, LoadsAsImageZeroIntoABottomUp24BitBitmapWithTheSourcePixels) {
  std::span<const std::byte> banner = BannerPicture();
  std::vector<char> source = SourceBanner();
  ASSERT_EQ(banner.size(), source.size()) << "the test binary embeds the banner of the source tree";
  ASSERT_EQ(std::memcmp(banner.data(), source.data(), source.size()), 0);

  std::int64_t handle = ImageLoadFromMemory(0, banner.data());  // no size given
  ASSERT_NE(handle, 0);
  EXPECT_EQ(reinterpret_cast<HANDLE>(handle), ImageHandle(0));
  EXPECT_EQ(ImageFormat(0), kFormatPng);
  EXPECT_EQ(ImageWidth(0), 400);
  EXPECT_EQ(ImageHeight(0), 60);
  EXPECT_EQ(ImageDepth(0), 24);
  EXPECT_EQ(ImageSourceDepth(0), 24);
  EXPECT_EQ(ImageFrameCount(0), 1);

  BitmapView view = ViewOf(ImageHandle(0));
  EXPECT_EQ(view.height, 60) << "positive: rows stored bottom-up";
  EXPECT_EQ(view.bitsPerPixel, 24);
  EXPECT_EQ(view.stride, 1200);
  std::vector<std::uint8_t> expected = BannerByLibpng(banner);
  ASSERT_EQ(expected.size(), 400u * 60u * 3u);
  EXPECT_EQ(std::memcmp(view.bits + 59 * 1200, expected.data(), 1200), 0) << "first picture row last";
  EXPECT_EQ(PixelBytes(view), expected);
  ImageFree(0);
}

int RejectEverything(DecodingContext*) { return 0; }
int DecodeNothing(DecodingContext*, void*, std::int32_t, std::uint32_t) { return 0; }
void FinishNothing(DecodingContext*) {}

TEST(Decoders, BmpIsProbedFirstPngIsRegisteredOnceAndTheTableHoldsThirty) {
  std::size_t count = DecoderCount();
  PngDecoderRegister();
  EXPECT_EQ(DecoderCount(), count);
  EXPECT_EQ(DecoderFormat(0), kFormatBmp);
  EXPECT_EQ(DecoderFormat(1), kFormatPng);

  std::vector<std::byte> bmp(64);
  bmp[0] = std::byte{'B'};
  bmp[1] = std::byte{'M'};
  EXPECT_EQ(DecoderSelect(bmp.data(), bmp.size()), kFormatBmp);
  DecoderFinish();
  EXPECT_EQ(ImageLoadFromMemory(3, bmp.data(), bmp.size()), 0) << "BMP pictures are recognised, not decoded";
  bmp[8] = std::byte{1};  // a reserved word that is not 0
  EXPECT_EQ(DecoderSelect(bmp.data(), bmp.size()), 0u);

  {
    // The table is shared with the tests after this one: it goes back to the
    // start-up decoders however this block ends.
    auto restore = scope_exit([] {
      DecoderStartup();
      BmpDecoderStartup();
      PngDecoderRegister();
    });
    static constexpr DecoderDescriptor kRejecting{RejectEverything, DecodeNothing, FinishNothing, 1};
    while (DecoderCount() < kDecoderLimit) ASSERT_EQ(DecoderRegister(&kRejecting), 1);
    EXPECT_EQ(DecoderRegister(&kRejecting), 0);
    EXPECT_EQ(DecoderCount(), kDecoderLimit);
  }
  EXPECT_EQ(DecoderCount(), 2u);
  EXPECT_EQ(DecoderFormat(1), kFormatPng);
}

TEST(Images, ALoadOverAnImageDeletesItsBitmapAndAFailedOneLeavesNoImage) {
  TestPicture first = MakePicture(PNG_COLOR_TYPE_RGB, 8);
  TestPicture second = MakePicture(PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false, 3, 2);
  HANDLE old = reinterpret_cast<HANDLE>(ImageLoadFromMemory(5, first.png.data(), first.png.size()));
  ASSERT_EQ(GetObjectType(old), static_cast<DWORD>(OBJ_BITMAP));
  HANDLE replacement = reinterpret_cast<HANDLE>(ImageLoadFromMemory(5, second.png.data(), second.png.size()));
  ASSERT_NE(replacement, nullptr);
  EXPECT_EQ(GetObjectType(old), 0u) << "the first bitmap is deleted";
  EXPECT_EQ(ImageHandle(5), replacement);
  EXPECT_EQ(ImageWidth(5), 3);

  const char junk[] = "neither an icon nor a picture";
  EXPECT_EQ(ImageLoadFromMemory(5, junk, sizeof junk), 0);
  EXPECT_EQ(GetObjectType(replacement), 0u);
  EXPECT_EQ(ImageHandle(5), nullptr);
  EXPECT_EQ(ImageFormat(5), 0u);
}

TEST(Images, IdentifiersIconsAndFreeAll) {
  TestPicture png = MakePicture(PNG_COLOR_TYPE_GRAY, 8);
  std::int64_t id = ImageLoadFromMemory(-1, png.png.data(), png.png.size());
  ASSERT_GE(id, std::int64_t{1} << 32) << "an identifier, not a slot number";
  EXPECT_EQ(ImageLoadFromMemory(-1, png.png.data(), 7), 0);
  ASSERT_NE(ImageLoadFromMemory(40, png.png.data(), png.png.size()), 0) << "past the first 16 slots";

  std::vector<std::byte> icon = IconFile();
  ASSERT_NE(ImageLoadFromMemory(6, icon.data(), icon.size()), 0);
  EXPECT_EQ(ImageFormat(6), kFormatIcon);
  EXPECT_EQ(ImageWidth(6), 16);
  EXPECT_EQ(ImageHeight(6), 16);
  EXPECT_EQ(ImageDepth(6), 32);
  ICONINFO info{};
  auto iconHandle = static_cast<HICON>(ImageHandle(6));
  ASSERT_TRUE(GetIconInfo(iconHandle, &info));
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);

  // A live identifier loaded again keeps its number and holds the new picture.
  HANDLE first = ImageHandle(id);
  HANDLE reloaded = reinterpret_cast<HANDLE>(ImageLoadFromMemory(id, png.png.data(), png.png.size()));
  ASSERT_NE(reloaded, nullptr);
  EXPECT_EQ(ImageHandle(id), reloaded);
  EXPECT_EQ(GetObjectType(first), 0u) << "the first picture is deleted";

  HANDLE bitmaps[] = {ImageHandle(id), ImageHandle(40)};
  ImageFree(-1);
  for (HANDLE bitmap : bitmaps) EXPECT_EQ(GetObjectType(bitmap), 0u);
  EXPECT_FALSE(GetIconInfo(iconHandle, &info)) << "the icon is destroyed";
  for (std::int64_t number : {id, std::int64_t{6}, std::int64_t{40}}) EXPECT_EQ(ImageHandle(number), nullptr);
}

TEST(Images, RowStridePadsEveryDepthToFourBytes) {
  for (int width = 1; width <= 33; ++width)
    for (int bits : {1, 4, 8, 16, 24, 32}) EXPECT_EQ(RowStride(width, bits), (width * bits + 31) / 32 * 4);
}

// Each thread decodes through its own context: a shared one would mix the
// two pictures' rows or read positions.
TEST(Images, LoadsOnTwoThreadsAtOnceKeepTheirPictures) {
  std::atomic<int> good{0};
  auto loadMany = [&](TestPicture picture) {
    for (int i = 0; i < 40; ++i) {
      std::int64_t id = ImageLoadFromMemory(-1, picture.png.data(), picture.png.size());
      good += id && PixelBytes(ViewOf(ImageHandle(id))) == picture.pixels;
      ImageFree(id);
    }
  };
  std::thread a(loadMany, MakePicture(PNG_COLOR_TYPE_RGB, 8, false, false, 31, 17));
  std::thread b(loadMany, MakePicture(PNG_COLOR_TYPE_PALETTE, 4, true, true, 23, 29));
  a.join();
  b.join();
  EXPECT_EQ(good, 80);
}

}  // namespace
