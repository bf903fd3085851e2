#include "PngFactory.h"

#include "runtime/image/Image.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <random>

namespace {

// Blocks placed to end right before a page that cannot be read: a decoder
// that reads one byte past a block faults.
class GuardedBlocks {
 public:
  GuardedBlocks() : memory_(static_cast<std::byte*>(VirtualAlloc(nullptr, 2 * kPage, MEM_COMMIT, PAGE_READWRITE))) {
    DWORD old = 0;
    VirtualProtect(memory_ + kPage, kPage, PAGE_NOACCESS, &old);
  }
  ~GuardedBlocks() { VirtualFree(memory_, 0, MEM_RELEASE); }
  GuardedBlocks(const GuardedBlocks&) = delete;
  GuardedBlocks& operator=(const GuardedBlocks&) = delete;

  // Loads the first `size` bytes as image 9.
  std::int64_t Load(const std::vector<std::byte>& bytes, std::size_t size) {
    std::memcpy(memory_ + kPage - size, bytes.data(), size);
    return ImageLoadFromMemory(9, memory_ + kPage - size, static_cast<std::int64_t>(size));
  }

 private:
  static constexpr std::size_t kPage = 65536;
  std::byte* memory_;
};

std::vector<std::byte> Flipped(std::vector<std::byte> bytes, std::size_t offset, std::uint8_t mask = 0x10) {
  bytes[offset] ^= std::byte{mask};
  return bytes;
}

TEST(BadInput, CrcMismatchesAndInvalidHeadersFailTheLoadAndLeaveNoImage) {
  std::vector<std::byte> png = MakePicture(PNG_COLOR_TYPE_RGB, 8).png;
  std::size_t ihdr = ChunkOffset(png, "IHDR");
  std::vector<std::vector<std::byte>> bad{Flipped(png, ihdr + 8 + 13), Flipped(png, ChunkOffset(png, "IDAT") + 10)};
  // Width 0, bit depth 7, colour type 5, compression 1, interlace 2, each with
  // a right CRC.
  for (auto [offset, value] : {std::pair{3, 0}, {8, 7}, {9, 5}, {10, 1}, {12, 2}}) {
    std::vector<std::byte>& header = bad.emplace_back(png);
    header[ihdr + 8 + offset] = std::byte(value);
    if (offset == 3) header[ihdr + 8 + 2] = std::byte{};
    FixChunkCrc(header, ihdr);
  }
  for (const auto& bytes : bad) {
    ASSERT_NE(ImageLoadFromMemory(8, png.data(), png.size()), 0);
    EXPECT_EQ(ImageLoadFromMemory(8, bytes.data(), bytes.size()), 0);
    EXPECT_EQ(ImageHandle(8), nullptr);
  }
}

TEST(BadInput, ShortTruncatedAndOverreachingBlocksFailWithoutReadingPastTheirEnd) {
  GuardedBlocks guard;
  std::vector<std::byte> png = MakePicture(PNG_COLOR_TYPE_PALETTE, 8, true, false, 40, 30).png;
  std::vector<std::byte> bmp(10);
  bmp[0] = std::byte{'B'};
  bmp[1] = std::byte{'M'};
  std::vector<std::byte> icon = IconFile();
  for (const auto* bytes : {&png, &bmp, &icon})
    for (std::size_t size = 0; size < 10; ++size) EXPECT_EQ(guard.Load(*bytes, size), 0) << size;
  EXPECT_EQ(ImageLoadFromMemory(9, png.data(), -5), 0);

  std::size_t iend = ChunkOffset(png, "IEND");
  for (std::size_t size = 10; size < iend; ++size) EXPECT_EQ(guard.Load(png, size), 0) << "cut at " << size;
  EXPECT_NE(guard.Load(png, iend), 0) << "only the end marker missing: every row is there";

  // An icon entry whose picture lies past the block, in a directory that
  // claims 255 entries.
  std::vector<std::byte> farIcon = Flipped(icon, 18, 0xF0);
  farIcon[4] = std::byte{0xFF};
  EXPECT_EQ(guard.Load(farIcon, farIcon.size()), 0);
  EXPECT_EQ(guard.Load(icon, icon.size() - 1), 0);
  ImageFree(9);
}

// The picture as it declares itself: `width` x `height`, the header's CRC
// made right.
std::vector<std::byte> Declaring(std::vector<std::byte> png, std::uint32_t width, std::uint32_t height) {
  std::size_t ihdr = ChunkOffset(png, "IHDR");
  for (int i = 0; i < 4; ++i) {
    png[ihdr + 8 + i] = std::byte(width >> (24 - 8 * i));
    png[ihdr + 12 + i] = std::byte(height >> (24 - 8 * i));
  }
  FixChunkCrc(png, ihdr);
  return png;
}

// Within libpng's usual limits of a million pixels a side, but larger than
// any bitmap the service makes: refused by the probe, before a section is
// asked for and rows are written.
TEST(BadInput, PicturesNoBitmapCanHoldAreRefusedBeforeDecoding) {
  std::vector<std::byte> rgba = MakePicture(PNG_COLOR_TYPE_RGB_ALPHA, 8).png;
  std::vector<std::byte> palette = MakePicture(PNG_COLOR_TYPE_PALETTE, 8).png;
  for (const auto& png : {Declaring(rgba, 1000000, 600), Declaring(rgba, 600, 1000000),
                          Declaring(palette, 1000000, 1000000)}) {
    EXPECT_EQ(DecoderSelect(png.data(), png.size()), 0u);
    EXPECT_EQ(ImageLoadFromMemory(11, png.data(), png.size()), 0);
    EXPECT_EQ(ImageHandle(11), nullptr);
  }
  std::vector<std::byte> wide = Declaring(palette, 1000000, 500);  // 1.5 GB: fits, but lacks the rows
  EXPECT_EQ(DecoderSelect(wide.data(), wide.size()), kFormatPng);
  DecoderFinish();

  // The rows are measured against the memory the platform mapped, in 64 bits.
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 64, 64, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* pixels = nullptr;
  UniqueBitmap section(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
  ASSERT_TRUE(section);
  EXPECT_TRUE(SectionHoldsRows(pixels, 64, 256));
  EXPECT_FALSE(SectionHoldsRows(pixels, 64 * 1024, 256));
  EXPECT_FALSE(SectionHoldsRows(pixels, 0x10000, 0x10000)) << "2^32 bytes, 0 in 32 bits";
  EXPECT_FALSE(SectionHoldsRows(nullptr, 1, 4));
}

// A few hundred bytes may declare a picture a bitmap could hold that is
// still wider or taller than libpng's own default of a million pixels: it is
// refused at the header, before libpng lays out rows for it.
TEST(BadInput, PicturesBeyondAMillionPixelsASideAreRefusedAtTheHeader) {
  std::vector<std::byte> rgba = MakePicture(PNG_COLOR_TYPE_RGB_ALPHA, 16).png;
  for (const auto& png : {Declaring(rgba, 1000001, 1), Declaring(rgba, 1, 1000001), Declaring(rgba, 200000000, 1)}) {
    EXPECT_EQ(DecoderSelect(png.data(), png.size()), 0u);
    EXPECT_EQ(ImageLoadFromMemory(11, png.data(), png.size()), 0);
  }
  std::vector<std::byte> million = Declaring(rgba, 1000000, 1);
  EXPECT_EQ(DecoderSelect(million.data(), million.size()), kFormatPng) << "a million is still taken";
  DecoderFinish();
}

// Wine answers GetGuiResources with 0 for every process, so leaks are
// measured where they show: a leaked DIB section keeps its committed pixel
// memory, leaked libpng structures keep their heap blocks. Each measure is
// first shown to see live objects.
std::size_t CommittedPrivateBytes() {
  std::size_t total = 0;
  MEMORY_BASIC_INFORMATION region{};
  for (auto* at = static_cast<const std::byte*>(nullptr); VirtualQuery(at, &region, sizeof region);
       at = static_cast<const std::byte*>(region.BaseAddress) + region.RegionSize)
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
  return total;
}

std::size_t BusyHeapBlocks() {
  HANDLE heaps[256];
  DWORD count = std::min<DWORD>(GetProcessHeaps(256, heaps), 256);
  std::size_t busy = 0;
  for (DWORD i = 0; i < count; ++i) {
    HeapLock(heaps[i]);
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heaps[i], &entry)) busy += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0;
    HeapUnlock(heaps[i]);
  }
  return busy;
}

TEST(BadInput, HundredsOfFailingLoadsLeakNoBitmapAndNoHeapBlock) {
  // A 1 MiB bitmap made and filled before the end of the data is found wrong.
  std::vector<std::byte> good = MakePicture(PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false, 512, 512).png;
  // The last data byte, right before the data chunk's CRC and the end chunk.
  std::vector<std::byte> late = Flipped(good, ChunkOffset(good, "IEND") - 5);
  constexpr std::size_t kBitmapBytes = 512 * 512 * 4;
  std::vector<std::byte> header = Flipped(MakePicture(PNG_COLOR_TYPE_RGB, 8).png, 8 + 8 + 13);
  std::vector<std::byte> truncated = MakePicture(PNG_COLOR_TYPE_GRAY, 16, false, false, 64, 64).png;
  truncated.resize(truncated.size() / 2);
  std::vector<std::byte> noise(300);
  std::mt19937 random(12345);

  std::size_t memory = CommittedPrivateBytes();
  for (int i = 0; i < 8; ++i) ASSERT_NE(ImageLoadFromMemory(20 + i, good.data(), good.size()), 0);
  EXPECT_GE(CommittedPrivateBytes(), memory + 8 * kBitmapBytes);
  for (int i = 0; i < 8; ++i) ImageFree(20 + i);
  std::size_t blocks = BusyHeapBlocks();
  std::vector<std::unique_ptr<char[]>> kept;
  for (int i = 0; i < 50; ++i) kept.push_back(std::make_unique<char[]>(100));
  EXPECT_GE(BusyHeapBlocks(), blocks + 50);
  kept.clear();

  memory = CommittedPrivateBytes();
  blocks = BusyHeapBlocks();
  int failed = 0;
  for (int i = 0; i < 100; ++i) {
    for (auto& byte : noise) byte = std::byte(random());
    failed += ImageLoadFromMemory(10, late.data(), late.size()) == 0;
    failed += ImageLoadFromMemory(10, header.data(), header.size()) == 0;
    failed += ImageLoadFromMemory(-1, truncated.data(), truncated.size()) == 0;
    failed += ImageLoadFromMemory(10, noise.data(), noise.size()) == 0;
  }
  EXPECT_EQ(failed, 400);
  EXPECT_LT(CommittedPrivateBytes(), memory + 16 * kBitmapBytes) << "from " << memory;
  EXPECT_LT(BusyHeapBlocks(), blocks + 40) << "from " << blocks;
}

}  // namespace
