// The PNG decoder: libpng's sequential reader over a picture in memory,
// converting every colour type to 8-bit blue-green-red rows, with alpha where
// the picture has any, read straight into the bitmap.
//
// Error texts are neither shown nor kept, warnings are dropped. All state
// lives in the calling thread's decoding context. libpng reports errors by
// longjmp to the setjmp of PngProbe or PngDecode: the frames from
// there down to libpng (the *Unguarded functions and PngMemoryRead) hold only
// plain values, nothing with a destructor.
#include "Image.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>

namespace {

struct PngState {
  png_structp read;
  png_infop info;
  const std::byte* position;
  int colourType;
  int bitDepth;
  const std::byte* end;
};
static_assert(sizeof(PngState) <= kDecoderStateSize);

PngState* StateOf(DecodingContext* context) {
  return std::launder(reinterpret_cast<PngState*>(context->decoderState.data()));
}

// Copies the next bytes of the block. The context is the calling thread's:
// libpng's io pointer stays empty. A block that ends before libpng has what
// it asked for is an error; libpng would otherwise go on with whatever its
// buffer held before.
void PngMemoryRead(png_structp read, png_bytep destination, size_t length) {
  PngState* state = StateOf(DecoderContext());
  auto count = static_cast<std::uint32_t>(length);
  auto remaining = static_cast<std::uint32_t>(state->end - state->position);
  if (remaining < count) count = remaining;
  std::memcpy(destination, state->position, count);
  state->position += count;
  if (count < length) png_error(read, "picture ends before the block does");
}

void PngWarningIgnore(png_structp, png_const_charp) {}

// libpng's own error procedure writes the text to the standard error stream;
// this one only goes back to the error return point.
[[noreturn]] void PngErrorReturn(png_structp read, png_const_charp) { png_longjmp(read, 1); }

// The sides libpng accepts: no more than its own default of a million
// pixels, so that a small file cannot make it ask for rows of gigabytes, and
// no more than a bitmap holds: a picture row of 16-bit RGBA (8 bytes a pixel),
// as libpng holds it, and a column of the smallest bitmap rows (4 bytes).
constexpr png_uint_32 kWidestPicture = std::min<png_uint_32>(PNG_USER_WIDTH_MAX, kBitmapBytesMax / 8);
constexpr png_uint_32 kTallestPicture = std::min<png_uint_32>(PNG_USER_HEIGHT_MAX, kBitmapBytesMax / 4);

// Whether the bitmap the picture becomes can be made: 32 bits a pixel with
// alpha or a transparent colour, 24 otherwise. Asked before libpng lays out
// its rows, which takes memory after the width.
bool FitsABitmap(png_structp read, png_infop info) {
  bool alpha = (png_get_color_type(read, info) & PNG_COLOR_MASK_ALPHA) || png_get_valid(read, info, PNG_INFO_tRNS);
  return BitmapFits(png_get_image_width(read, info), png_get_image_height(read, info), alpha ? 32 : 24);
}

// Reads the header and asks for the conversions to 8-bit RGB or RGBA.
int ReadHeaderUnguarded(DecodingContext* context, PngState* state) {
  png_structp read = state->read;
  png_set_error_fn(read, png_get_error_ptr(read), PngErrorReturn, PngWarningIgnore);
  state->position = context->block;
  state->end = context->block + context->blockSize;
  png_set_read_fn(read, nullptr, PngMemoryRead);
  png_set_user_limits(read, kWidestPicture, kTallestPicture);
  state->info = png_create_info_struct(read);
  if (!state->info) return 0;
  png_infop info = state->info;
  png_read_info(read, info);
  if (!FitsABitmap(read, info)) return 0;
  // Before any png_read_update_info: the row layout it fixes must cover every
  // pass of an interlaced picture.
  png_set_interlace_handling(read);

  if (png_get_valid(read, info, PNG_INFO_tRNS)) {
    png_set_tRNS_to_alpha(read);
    // Gray with a transparent shade becomes RGBA here, while conversions can
    // still be asked for.
    if (png_get_color_type(read, info) == PNG_COLOR_TYPE_GRAY) png_set_gray_to_rgb(read);
    if (png_get_bit_depth(read, info) == 16) png_set_strip_16(read);
    png_read_update_info(read, info);
  }

  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0, interlace = 0, compression = 0, filter = 0;
  png_get_IHDR(read, info, &width, &height, &bitDepth, &colourType, &interlace, &compression, &filter);
  switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      context->sourceDepth = bitDepth;
      if (bitDepth < 8) png_set_expand(read);
      if (colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(read);
      else
        png_set_gray_to_rgb(read);
      if (bitDepth == 16) png_set_strip_16(read);
      png_read_update_info(read, info);
      png_get_IHDR(read, info, &width, &height, &bitDepth, &colourType, &interlace, &compression, &filter);
      break;
    default:
      context->sourceDepth = colourType == PNG_COLOR_TYPE_RGB ? 24 : 32;
      break;
  }
  // Rows now come out as RGB or RGBA, 8 bits a sample (16 until PngDecode
  // strips them), which is what the bitmap's rows hold.
  if (colourType != PNG_COLOR_TYPE_RGB && colourType != PNG_COLOR_TYPE_RGB_ALPHA) return 0;
  if (bitDepth != 8 && bitDepth != 16) return 0;

  state->colourType = colourType;
  state->bitDepth = bitDepth;
  context->width = static_cast<std::int32_t>(width);
  context->height = static_cast<std::int32_t>(height);
  context->outputDepth = colourType == PNG_COLOR_TYPE_RGB ? 24 : 32;
  return 1;
}

int ReadHeader(DecodingContext* context, PngState* state) {
  if (setjmp(png_jmpbuf(state->read))) return 0;
  return ReadHeaderUnguarded(context, state);
}

int PngProbe(DecodingContext* context) {
  if (context->blockSize < 8) return 0;
  if (png_sig_cmp(reinterpret_cast<png_const_bytep>(context->block), 0, 8) != 0) return 0;
  PngState* state = new (context->decoderState.data()) PngState{};
  state->read = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!state->read) return 0;
  if (ReadHeader(context, state)) return 1;
  png_destroy_read_struct(&state->read, &state->info, nullptr);
  return 0;
}

void ReadRowsUnguarded(DecodingContext* context, PngState* state, std::byte* pixels, std::int32_t stride,
                       std::uint32_t flags) {
  png_structp read = state->read;
  if (state->bitDepth == 16) png_set_strip_16(read);
  png_set_bgr(read);
  int passes = png_set_interlace_handling(read);
  bool bottomUp = (flags & kDecodeBottomUp) != 0;
  std::ptrdiff_t step = bottomUp ? -std::ptrdiff_t{stride} : std::ptrdiff_t{stride};
  std::byte* first = bottomUp ? pixels + std::ptrdiff_t{context->height - 1} * stride : pixels;
  for (int pass = 0; pass < passes; ++pass) {
    std::byte* row = first;
    for (std::int32_t y = 0; y < context->height; ++y, row += step) {
      png_bytep rowPointer = reinterpret_cast<png_bytep>(row);
      png_read_rows(read, &rowPointer, nullptr, 1);
    }
  }
}

int PngDecode(DecodingContext* context, void* pixels, std::int32_t stride, std::uint32_t flags) {
  PngState* state = StateOf(context);
  if (setjmp(png_jmpbuf(state->read))) return 0;
  ReadRowsUnguarded(context, state, static_cast<std::byte*>(pixels), stride, flags);
  return 1;
}

void PngFinish(DecodingContext* context) {
  PngState* state = StateOf(context);
  png_destroy_read_struct(&state->read, &state->info, nullptr);
}

constexpr DecoderDescriptor kPngDecoder{PngProbe, PngDecode, PngFinish, kFormatPng};

}  // namespace

void PngDecoderRegister() {
  if (!DecoderIsRegistered(&kPngDecoder)) DecoderRegister(&kPngDecoder);
}
