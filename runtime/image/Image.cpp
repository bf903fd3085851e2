// The image registry: numbered images, each record owning its bitmap or icon.
// Records are read and written only under the registry's lock; probing and
// decoding run outside it, into a record of the loading thread's own that is
// stored when the picture is complete.
#include "Image.h"

#include "runtime/base/NoMemory.h"
#include "runtime/registry/ObjectRegistry.h"

#include <utility>
#include <optional>

namespace {

// A decoded picture is a bitmap, an icon file gives an icon; each is deleted
// in its own way.
struct ImageObjectTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept {
    if (GetObjectType(h) == OBJ_BITMAP)
      DeleteObject(h);
    else
      DestroyIcon(static_cast<HICON>(h));
  }
};

struct ImageRecord {
  UniqueHandle<ImageObjectTraits> handle;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint8_t depth = 0;
  std::uint8_t sourceDepth = 0;
  std::uint32_t format = 0;
  std::int32_t frameCount = 0;
};

using ImageRegistry = ObjectRegistry<ImageRecord>;
// Made by the first ImageStartup and never destroyed.
ImageRegistry* g_images = nullptr;

ImageRecord RecordFromIcon(UniqueIcon icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon.get(), &info)) return {};
  UniqueBitmap colour(info.hbmColor);
  UniqueBitmap mask(info.hbmMask);
  // A monochrome icon has no colour bitmap; its mask holds both halves.
  BITMAP bitmap{};
  if (!GetObjectW(colour ? colour.get() : mask.get(), sizeof bitmap, &bitmap)) return {};
  ImageRecord record;
  record.width = static_cast<std::uint16_t>(bitmap.bmWidth);
  record.height = static_cast<std::uint16_t>(colour ? bitmap.bmHeight : bitmap.bmHeight / 2);
  record.depth = record.sourceDepth = static_cast<std::uint8_t>(bitmap.bmBitsPixel);
  record.format = kFormatIcon;
  record.frameCount = 1;
  record.handle.reset(icon.release());
  return record;
}

ImageRecord RecordFromDecoder(const void* address, std::int64_t size) {
  std::uint32_t format = DecoderSelect(address, size);
  if (!format) return {};
  const DecodingContext& context = *DecoderContext();
  ImageRecord record;
  record.format = format;
  record.width = static_cast<std::uint16_t>(context.width);
  record.height = static_cast<std::uint16_t>(context.height);
  record.depth = static_cast<std::uint8_t>(context.outputDepth);
  record.sourceDepth = static_cast<std::uint8_t>(context.sourceDepth);
  record.frameCount = context.frameCount;
  UniqueBitmap bitmap = BitmapFromDecoder();
  DecoderFinish();
  record.handle.reset(bitmap.release());
  return record;
}

ImageRecord RecordFromMemory(const void* address, std::int64_t size) {
  if (!address) return {};
  if (UniqueIcon icon = IconFromMemory(address, size)) return RecordFromIcon(std::move(icon));
  return RecordFromDecoder(address, size);
}

template <class T>
T RecordField(std::int64_t number, T ImageRecord::*field) {
  if (!g_images) return T{};
  return g_images->With(number, [field](const ImageRecord& record) { return record.*field; }).value_or(T{});
}

// Frees the image the number holds before the new picture is decoded. The
// decoded record goes under the number the registry gave, slot or identifier
// alike.
std::int64_t Load(std::int64_t number, const void* address, std::int64_t size) {
  std::optional<std::int64_t> obtained = g_images->Obtain(number);
  if (!obtained) return 0;
  ImageRecord loaded = RecordFromMemory(address, size);
  HANDLE handle = loaded.handle.get();
  if (!handle) {
    g_images->Release(*obtained);
    return 0;
  }
  if (!g_images->Put(*obtained, std::move(loaded))) return 0;
  return number == ImageRegistry::kAny ? *obtained : reinterpret_cast<std::int64_t>(handle);
}

}  // namespace

void ImageStartup() {
  if (!g_images) g_images = new ImageRegistry(16, 16, ImageFree);
}

void ImageShutdown() { ImageFree(-1); }

std::int64_t ImageLoadFromMemory(std::int64_t number, const void* address, std::int64_t size) {
  if (!g_images) return 0;
  return OrOnNoMemory(std::int64_t{0}, [&] { return Load(number, address, size); });
}

HANDLE ImageHandle(std::int64_t number) {
  if (!g_images) return nullptr;
  return g_images->With(number, [](const ImageRecord& record) { return record.handle.get(); }).value_or(nullptr);
}

void ImageFree(std::int64_t number) {
  if (!g_images) return;
  if (number == -1)
    g_images->CloseAll();
  else
    g_images->Take(number);  // deletes the bitmap or icon once the lock is dropped
}

int ImageWidth(std::int64_t number) { return RecordField(number, &ImageRecord::width); }
int ImageHeight(std::int64_t number) { return RecordField(number, &ImageRecord::height); }
int ImageDepth(std::int64_t number) { return RecordField(number, &ImageRecord::depth); }
int ImageSourceDepth(std::int64_t number) { return RecordField(number, &ImageRecord::sourceDepth); }
std::uint32_t ImageFormat(std::int64_t number) { return RecordField(number, &ImageRecord::format); }
int ImageFrameCount(std::int64_t number) { return RecordField(number, &ImageRecord::frameCount); }
