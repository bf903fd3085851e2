// Bitmaps that decoders fill: bottom-up DIB sections with padded rows.
#include "Image.h"

std::int32_t RowStride(std::int32_t width, std::int32_t bits) {
  switch (bits) {
    case 1: return (width + 31) / 32 * 4;
    case 4: return (width + 7) / 8 * 4;
    case 8: return (width + 3) / 4 * 4;
    case 15:
    case 16: return (width + 1) / 2 * 4;
    case 24: return (width + 1) * 3 / 4 * 4;
    case 32: return width * 4;
    default: return 0;
  }
}

bool BitmapFits(std::int64_t width, std::int64_t height, std::int32_t bits) {
  if (width <= 0 || height <= 0 || width > kBitmapBytesMax || height > kBitmapBytesMax) return false;
  std::int64_t stride = (width * bits + 31) / 32 * 4;
  return stride <= kBitmapBytesMax / height;
}

bool SectionHoldsRows(const void* pixels, std::int32_t rows, std::int32_t stride) {
  if (!pixels || rows <= 0 || stride <= 0) return false;
  MEMORY_BASIC_INFORMATION region{};
  if (!VirtualQuery(pixels, &region, sizeof region) || region.State != MEM_COMMIT) return false;
  auto start = reinterpret_cast<std::uintptr_t>(pixels);
  auto end = reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize;
  return std::uint64_t{static_cast<std::uint32_t>(rows)} * static_cast<std::uint32_t>(stride) <= end - start;
}

UniqueBitmap BitmapFromDecoder() {
  DecodingContext* context = DecoderContext();
  if (!context || !context->chosen) return {};
  // A height of 0 or less would make no bitmap or a top-down one, into which
  // the bottom-up rows would be written before its start.
  if (!BitmapFits(context->width, context->height, context->outputDepth)) return {};

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = context->width;
  info.bmiHeader.biHeight = context->height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = static_cast<WORD>(context->outputDepth);
  info.bmiHeader.biCompression = BI_RGB;

  UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  if (!dc) return {};
  void* pixels = nullptr;
  UniqueBitmap bitmap(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
  if (!bitmap || !pixels) return {};
  DIBSECTION section{};
  if (GetObjectW(bitmap.get(), sizeof section, &section) != sizeof section) return {};
  std::int32_t stride = RowStride(section.dsBm.bmWidth, section.dsBm.bmBitsPixel);
  // The platform's own size arithmetic is not trusted with the rows the
  // decoder is about to write.
  if (!SectionHoldsRows(pixels, context->height, stride)) return {};
  if (!context->chosen->decode(context, pixels, stride, kDecodeBottomUp)) return {};
  return bitmap;
}
