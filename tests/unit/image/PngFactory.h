// Pictures for the image tests: PNGs of every kind written with libpng into
// memory, with the bytes each pixel must come out as; and what a bitmap holds.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

struct TestPicture {
  std::vector<std::byte> png;
  // B, G, R[, A] of every pixel, top row first.
  std::vector<std::uint8_t> pixels;
};

// A picture whose every pixel differs from its neighbours, so that a row or a
// pass in the wrong place shows. `transparency` adds a tRNS chunk (palette:
// alphas for half the entries; gray and RGB: one transparent colour).
TestPicture MakePicture(int colourType, int bitDepth, bool transparency = false, bool interlaced = false,
                        int width = 13, int height = 11);
// A 16 x 16, 32-bit icon file.
std::vector<std::byte> IconFile();

// The offset (of its length field) of the first chunk of `type` that starts
// after `after`, or 0; and the CRC of a chunk made right again after its bytes
// were changed.
std::size_t ChunkOffset(const std::vector<std::byte>& png, const char* type, std::size_t after = 0);
void FixChunkCrc(std::vector<std::byte>& png, std::size_t chunkOffset);

struct BitmapView {
  int width = 0;
  int height = 0;  // negative for a top-down bitmap
  int bitsPerPixel = 0;
  int stride = 0;
  const std::uint8_t* bits = nullptr;
};
BitmapView ViewOf(HANDLE bitmap);
// Every pixel's bytes, top picture row first, without the row padding.
std::vector<std::uint8_t> PixelBytes(const BitmapView& view);
