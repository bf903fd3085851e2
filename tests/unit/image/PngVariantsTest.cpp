#include "PngFactory.h"

#include "runtime/image/Image.h"

#include <gtest/gtest.h>
#include <png.h>

namespace {

struct Variant {
  const char* name;
  int colourType, bitDepth;
  bool transparency;
  int depth, sourceDepth;
};

constexpr Variant kVariants[] = {
    {"rgb 8", PNG_COLOR_TYPE_RGB, 8, false, 24, 24},
    {"rgb 16", PNG_COLOR_TYPE_RGB, 16, false, 24, 24},
    {"rgb + tRNS", PNG_COLOR_TYPE_RGB, 8, true, 32, 32},
    {"rgba 8", PNG_COLOR_TYPE_RGB_ALPHA, 8, false, 32, 32},
    {"rgba 16", PNG_COLOR_TYPE_RGB_ALPHA, 16, false, 32, 32},
    {"palette 4", PNG_COLOR_TYPE_PALETTE, 4, false, 24, 4},
    {"palette 1", PNG_COLOR_TYPE_PALETTE, 1, false, 24, 1},
    {"palette 8 + tRNS", PNG_COLOR_TYPE_PALETTE, 8, true, 32, 32},
    {"palette 2 + tRNS", PNG_COLOR_TYPE_PALETTE, 2, true, 32, 32},
    {"gray 16", PNG_COLOR_TYPE_GRAY, 16, false, 24, 16},
    {"gray 2", PNG_COLOR_TYPE_GRAY, 2, false, 24, 2},
    {"gray + alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, 32, 8},
    // Loads like a palette picture with tRNS: converted to RGBA first.
    {"gray + tRNS", PNG_COLOR_TYPE_GRAY, 8, true, 32, 32},
};

// Odd sizes (13 x 11): rows need padding and the Adam7 passes are ragged.
// The alpha of every pixel is compared as stored: premultiplying would change
// the colour bytes.
void ExpectLoads(const Variant& v, bool interlaced) {
  SCOPED_TRACE(std::string(v.name) + (interlaced ? ", Adam7" : ""));
  TestPicture picture = MakePicture(v.colourType, v.bitDepth, v.transparency, interlaced);
  ASSERT_FALSE(picture.png.empty());
  ASSERT_NE(ImageLoadFromMemory(7, picture.png.data(), picture.png.size()), 0);
  EXPECT_EQ(ImageFormat(7), kFormatPng);
  EXPECT_EQ(ImageWidth(7), 13);
  EXPECT_EQ(ImageHeight(7), 11);
  EXPECT_EQ(ImageDepth(7), v.depth);
  EXPECT_EQ(ImageSourceDepth(7), v.sourceDepth);
  BitmapView view = ViewOf(ImageHandle(7));
  EXPECT_EQ(view.bitsPerPixel, v.depth);
  EXPECT_EQ(view.height, 11);
  EXPECT_EQ(PixelBytes(view), picture.pixels);
  ImageFree(7);
}

TEST(PngVariants, EveryColourTypeGivesEightBitBgrRowsWithAlphaAsStored) {
  for (const Variant& v : kVariants) ExpectLoads(v, false);
}

TEST(PngVariants, Adam7PicturesGiveTheSamePixelsAsPlainOnes) {
  for (const Variant& v : kVariants) ExpectLoads(v, true);
}

}  // namespace
