#include "PngFactory.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>

namespace {

unsigned Pattern(int x, int y, int c, unsigned maximum) { return (x * 37u + y * 101u + c * 59u) % (maximum + 1); }

// The decoder keeps the high byte of 16-bit samples and scales smaller ones.
std::uint8_t To8Bits(unsigned value, int bitDepth) {
  if (bitDepth == 16) return static_cast<std::uint8_t>(value >> 8);
  return static_cast<std::uint8_t>(value * 255 / ((1u << bitDepth) - 1));
}

std::uint8_t PaletteSample(unsigned entry, int c) {
  return static_cast<std::uint8_t>(c == 0 ? entry * 16 + 3 : c == 1 ? 255 - entry * 9 : entry * 71);
}

void Pack(std::vector<std::uint8_t>& row, int index, unsigned value, int bitDepth) {
  if (bitDepth == 16) {
    row[index * 2] = static_cast<std::uint8_t>(value >> 8);
    row[index * 2 + 1] = static_cast<std::uint8_t>(value);
  } else {
    int bit = index * bitDepth;
    row[bit / 8] |= static_cast<std::uint8_t>(value << (8 - bitDepth - bit % 8));
  }
}

void AppendToVector(png_structp write, png_bytep data, size_t length) {
  auto* out = static_cast<std::vector<std::byte>*>(png_get_io_ptr(write));
  out->insert(out->end(), reinterpret_cast<std::byte*>(data), reinterpret_cast<std::byte*>(data) + length);
}

struct Encoding {
  int width, height, colourType, bitDepth;
  bool interlaced;
  std::vector<png_bytep> rows;
  std::vector<png_color> palette;
  std::vector<png_byte> paletteAlpha;
  png_color_16 transparent;
  bool hasTransparent;
};

// libpng's errors come back here; this frame holds nothing with a destructor.
bool WriteGuarded(png_structp write, png_infop info, Encoding& e) {
  if (setjmp(png_jmpbuf(write))) return false;
  png_set_IHDR(write, info, e.width, e.height, e.bitDepth, e.colourType,
               e.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!e.palette.empty()) png_set_PLTE(write, info, e.palette.data(), static_cast<int>(e.palette.size()));
  if (!e.paletteAlpha.empty())
    png_set_tRNS(write, info, e.paletteAlpha.data(), static_cast<int>(e.paletteAlpha.size()), nullptr);
  if (e.hasTransparent) png_set_tRNS(write, info, nullptr, 0, &e.transparent);
  png_set_rows(write, info, e.rows.data());
  png_write_png(write, info, PNG_TRANSFORM_IDENTITY, nullptr);
  return true;
}

std::uint32_t BigEndianAt(const std::vector<std::byte>& png, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value = value << 8 | std::to_integer<std::uint32_t>(png[offset + i]);
  return value;
}

}  // namespace

TestPicture MakePicture(int colourType, int bitDepth, bool transparency, bool interlaced, int width, int height) {
  int channels = colourType == PNG_COLOR_TYPE_RGB         ? 3
                 : colourType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                 : colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                           : 1;
  unsigned maximum = (1u << bitDepth) - 1;
  bool palette = colourType == PNG_COLOR_TYPE_PALETTE;
  bool gray = (colourType & PNG_COLOR_MASK_COLOR) == 0;
  Encoding e{width, height, colourType, bitDepth, interlaced, {}, {}, {}, {}, false};
  // The transparent colour is the one of pixel (1, 1).
  if (transparency && !palette) {
    e.hasTransparent = true;
    e.transparent = {0, static_cast<png_uint_16>(Pattern(1, 1, 0, maximum)),
                     static_cast<png_uint_16>(Pattern(1, 1, 1, maximum)),
                     static_cast<png_uint_16>(Pattern(1, 1, 2, maximum)),
                     static_cast<png_uint_16>(Pattern(1, 1, 0, maximum))};
  }
  for (unsigned entry = 0; palette && entry <= maximum; ++entry) {
    e.palette.push_back({PaletteSample(entry, 0), PaletteSample(entry, 1), PaletteSample(entry, 2)});
    if (transparency && entry <= maximum / 2) e.paletteAlpha.push_back(static_cast<png_byte>(entry * 40));
  }

  TestPicture picture;
  std::vector<std::vector<std::uint8_t>> rows;
  for (int y = 0; y < height; ++y) {
    std::vector<std::uint8_t>& row = rows.emplace_back((width * channels * bitDepth + 7) / 8);
    for (int x = 0; x < width; ++x) {
      unsigned s[4] = {};
      for (int c = 0; c < channels; ++c) Pack(row, x * channels + c, s[c] = Pattern(x, y, c, maximum), bitDepth);
      std::uint8_t rgba[4] = {To8Bits(s[0], bitDepth), To8Bits(s[1], bitDepth), To8Bits(s[2], bitDepth),
                              To8Bits(s[channels - 1], bitDepth)};
      if (gray) rgba[1] = rgba[2] = rgba[0];
      if (palette)
        for (int c = 0; c < 3; ++c) rgba[c] = PaletteSample(s[0], c);
      if (palette && transparency) rgba[3] = s[0] < e.paletteAlpha.size() ? e.paletteAlpha[s[0]] : 255;
      bool keyed = e.hasTransparent && s[0] == e.transparent.gray && (gray || (s[0] == e.transparent.red &&
                   s[1] == e.transparent.green && s[2] == e.transparent.blue));
      if (e.hasTransparent) rgba[3] = keyed ? 0 : 255;
      bool alpha = (colourType & PNG_COLOR_MASK_ALPHA) || transparency;
      picture.pixels.insert(picture.pixels.end(), {rgba[2], rgba[1], rgba[0]});
      if (alpha) picture.pixels.push_back(rgba[3]);
    }
    e.rows.push_back(row.data());
  }
  png_structp write = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(write);
  png_set_write_fn(write, &picture.png, AppendToVector, nullptr);
  if (!WriteGuarded(write, info, e)) picture.png.clear();
  png_destroy_write_struct(&write, &info);
  return picture;
}

std::vector<std::byte> IconFile() {
  constexpr std::uint32_t kColourBytes = 16 * 16 * 4, kMaskBytes = 16 * 4;
  constexpr std::uint32_t kBytes = sizeof(BITMAPINFOHEADER) + kColourBytes + kMaskBytes;
  std::vector<std::byte> file(6 + 16 + kBytes);
  auto put = [&](std::size_t offset, auto value) { std::memcpy(file.data() + offset, &value, sizeof value); };
  put(2, std::uint16_t{1});                               // icon
  put(4, std::uint16_t{1});                               // one entry:
  put(6, std::uint16_t{16 | 16 << 8});                    // 16 x 16
  put(10, std::uint32_t{1 | 32 << 16});                   // 1 plane, 32 bits
  put(14, kBytes);                                        // picture size
  put(18, std::uint32_t{22});                             // picture offset
  put(22, BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 16, 32, 1, 32, BI_RGB, 0, 0, 0, 0, 0});
  for (std::uint32_t i = 0; i < kColourBytes; ++i) file[62 + i] = std::byte(i % 4 == 3 ? 255 : i);
  return file;
}

std::size_t ChunkOffset(const std::vector<std::byte>& png, const char* type, std::size_t after) {
  for (std::size_t offset = 8; offset + 12 <= png.size(); offset += 12 + BigEndianAt(png, offset))
    if (offset > after && std::memcmp(png.data() + offset + 4, type, 4) == 0) return offset;
  return 0;
}

void FixChunkCrc(std::vector<std::byte>& png, std::size_t chunkOffset) {
  std::uint32_t length = BigEndianAt(png, chunkOffset);
  auto crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + chunkOffset + 4), length + 4);
  for (int i = 0; i < 4; ++i) png[chunkOffset + 8 + length + i] = static_cast<std::byte>(crc >> (24 - 8 * i));
}

BitmapView ViewOf(HANDLE bitmap) {
  DIBSECTION s{};
  if (GetObjectW(bitmap, sizeof s, &s) != sizeof s) return {};
  return {s.dsBmih.biWidth, s.dsBmih.biHeight, s.dsBm.bmBitsPixel, static_cast<int>(s.dsBm.bmWidthBytes),
          static_cast<const std::uint8_t*>(s.dsBm.bmBits)};
}

std::vector<std::uint8_t> PixelBytes(const BitmapView& view) {
  std::vector<std::uint8_t> bytes;
  int rows = view.height > 0 ? view.height : -view.height;
  std::size_t rowBytes = static_cast<std::size_t>(view.width) * (view.bitsPerPixel / 8);
  for (int y = 0; y < rows; ++y) {
    const std::uint8_t* row = view.bits + static_cast<std::ptrdiff_t>(view.height > 0 ? rows - 1 - y : y) * view.stride;
    bytes.insert(bytes.end(), row, row + rowBytes);
  }
  return bytes;
}
