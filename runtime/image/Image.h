// Images: pictures held in memory turned into numbered bitmaps (or icons)
// that this service owns, through a small registry of picture decoders.
//
// A load offers the block to the icon test first, then to every registered
// decoder in registration order (BMP, then PNG); the first whose probe accepts
// it makes a bottom-up DIB section and decodes the rows straight into its
// pixel memory. Each thread has its own decoding context, so loads on
// different threads share no decoding state.
//
// Return rules: ImageLoadFromMemory gives the new image's handle for a number
// from 0 up, the new identifier for the any number -1, and 0 on failure, after
// which the number holds no image. Every query on a number that names no image
// gives 0. DecoderSelect gives 0 when no decoder accepts the block; RowStride,
// BitmapFromDecoder, IconFromMemory give 0 / an empty handle on failure.
// Nothing here shows messages or keeps error codes.
#pragma once

#include "runtime/base/UniqueHandle.h"

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>

// Format codes: four bytes in memory order, read as a little-endian integer.
inline constexpr std::uint32_t kFormatPng = 0x00474E50;   // "PNG\0"
inline constexpr std::uint32_t kFormatBmp = 0x00504D42;   // "BMP\0"
inline constexpr std::uint32_t kFormatIcon = 0x4E4F4349;  // "ICON"

// Decode flag: rows go bottom-up, the first picture row into the last
// bitmap row.
inline constexpr std::uint32_t kDecodeBottomUp = 0x2;

// Block size assumed when the caller gives none.
inline constexpr std::int64_t kUnknownBlockSize = 2147483647;

// Room for a decoder's own state inside the decoding context.
inline constexpr std::size_t kDecoderStateSize = 64;

struct DecoderDescriptor;

// The calling thread's decoding context for the load under way.
struct DecodingContext {
  const DecoderDescriptor* chosen;
  const std::byte* block;
  std::int32_t blockSize;
  std::int32_t width;
  std::int32_t height;
  std::int32_t outputDepth;  // 24 or 32
  alignas(8) std::array<std::byte, kDecoderStateSize> decoderState;  // cleared before each probe
  std::int32_t sourceDepth;
  std::int32_t frameCount;  // 1
};

// probe: nonzero to accept the context's block, filling width, height, both
// depths and the decoder state; a rejecting probe keeps nothing allocated.
// decode: writes the rows into `pixels` (rows `stride` bytes apart), nonzero
// on success. finish: releases what probe and decode kept.
struct DecoderDescriptor {
  int (*probe)(DecodingContext* context);
  int (*decode)(DecodingContext* context, void* pixels, std::int32_t stride, std::uint32_t flags);
  void (*finish)(DecodingContext* context);
  std::uint32_t format;
};

// --- Decoder registry --------------------------------------------------------
inline constexpr std::size_t kDecoderLimit = 30;
// Empties the registry and reserves the per-thread decoding context.
void DecoderStartup();
// Registers the BMP decoder, whose probe accepts "BM" blocks.
void BmpDecoderStartup();
// Registers the PNG decoder; does nothing while it is registered.
void PngDecoderRegister();
// Appends a decoder (start-up only, before any load). 0 when the table of
// kDecoderLimit entries is full.
int DecoderRegister(const DecoderDescriptor* descriptor);
std::size_t DecoderCount();
bool DecoderIsRegistered(const DecoderDescriptor* descriptor);
// The format code of the decoder at `index` in probing order, or 0.
std::uint32_t DecoderFormat(std::size_t index);
// The calling thread's context, or null when its per-thread block could not
// be made.
DecodingContext* DecoderContext();
// Prepares the calling thread's context for the block (`size` taken as its low
// 32 bits) and probes every decoder in order; the accepting decoder's format.
std::uint32_t DecoderSelect(const void* address, std::int64_t size);
// A bottom-up DIB section of the context's size and output depth, filled by
// the chosen decoder; empty when it cannot be made or decoding fails.
UniqueBitmap BitmapFromDecoder();
// Runs the chosen decoder's finish; does nothing when none is chosen.
void DecoderFinish();
// Bytes per bitmap row: `width` pixels of `bits` each, padded to 4 bytes.
std::int32_t RowStride(std::int32_t width, std::int32_t bits);
// The most pixel memory a decoded bitmap takes: every row offset then fits
// the signed 32-bit strides decoders are given.
inline constexpr std::int64_t kBitmapBytesMax = 0x7FFFFFFF;
// Whether a bitmap of `width` x `height` pixels of `bits` each stays within
// kBitmapBytesMax; sizes of 0 or less never fit.
bool BitmapFits(std::int64_t width, std::int64_t height, std::int32_t bits);
// Whether the memory at `pixels` holds `rows` rows `stride` bytes apart, as
// the platform actually mapped it, not as it was asked for.
bool SectionHoldsRows(const void* pixels, std::int32_t rows, std::int32_t stride);
// An icon from a block holding an icon file (words 0 and 1 first), or empty.
UniqueIcon IconFromMemory(const void* address, std::int64_t size);

// --- Images ------------------------------------------------------------------
void ImageStartup();
// Frees every image.
void ImageShutdown();
std::int64_t ImageLoadFromMemory(std::int64_t number, const void* address,
                                 std::int64_t size = kUnknownBlockSize);
// The image's bitmap or icon handle.
HANDLE ImageHandle(std::int64_t number);
// Deletes the image's bitmap or icon; -1 frees every image.
void ImageFree(std::int64_t number);
// What the record of a live image holds: its size (truncated to 16 bits), the
// bitmap's bits per pixel, the decoder's figure for the stored picture, the
// format code and the frame count (1).
int ImageWidth(std::int64_t number);
int ImageHeight(std::int64_t number);
int ImageDepth(std::int64_t number);
int ImageSourceDepth(std::int64_t number);
std::uint32_t ImageFormat(std::int64_t number);
int ImageFrameCount(std::int64_t number);
