// File objects: the registry of open files and the buffered reads.
//
// Threads: the registry lock guards the slot operations (obtain, look up,
// release). A read copies the file's shared FileObject out under the lock and
// reads outside it, so a close on another thread (close-all at shut-down) only
// drops the registry's share: the buffer and the handle go when the read is
// done. The fields of a FileObject belong to the one thread that reads the
// file (in the program, the upload worker).
#include "File.h"

#include "runtime/base/Heap.h"
#include "runtime/base/NeverDestroyed.h"
#include "runtime/base/NoMemory.h"
#include "runtime/base/ScopeExit.h"
#include "runtime/base/UniqueHandle.h"
#include "runtime/file/FilePath.h"
#include "runtime/registry/ObjectRegistry.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

namespace {

struct FileObject {
  UniqueFileHandle handle;
  // Null when no memory could be had; every read then goes to the platform.
  HeapBlock buffer;
  // Invariant: 0 <= unread <= filled <= kFileBufferSize; the next byte to hand
  // out is buffer[filled - unread].
  std::int32_t unread = 0;
  std::int32_t filled = 0;
  std::int64_t readCalls = 0;
};

struct FileRecord {
  std::shared_ptr<FileObject> handle;  // empty while the number holds no open file
};

NeverDestroyed<ObjectRegistry<FileRecord>> g_files(16, 16, FileClose);

std::shared_ptr<FileObject> FindOpen(std::int64_t number) {
  return g_files->With(number, [](FileRecord& record) { return record.handle; }).value_or(nullptr);
}

// CreateFileW reports failure as INVALID_HANDLE_VALUE; 0 is refused as well.
// Only a file on a disk counts: a path naming a device is refused before it is
// opened (FileOpenPath), and what opens anyway must be a disk file, as a read
// of a device (a pipe, a port) can wait without end.
UniqueFileHandle OpenExclusiveRead(const wchar_t* path) {
  std::wstring openPath = FileOpenPath(path);
  if (openPath.empty()) return {};
  HANDLE opened =
      CreateFileW(openPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  UniqueFileHandle handle(opened ? opened : INVALID_HANDLE_VALUE);
  if (handle && GetFileType(handle.get()) != FILE_TYPE_DISK) handle.reset();
  return handle;
}

// One ReadFile per call of at most MAXDWORD bytes; the count the platform
// reports (0 on an error) is all that matters.
std::int64_t ReadPlatform(FileObject& file, std::byte* destination, std::int64_t length) {
  std::int64_t total = 0;
  while (total < length) {
    DWORD ask = static_cast<DWORD>(std::min<std::int64_t>(length - total, MAXDWORD));
    DWORD got = 0;
    ReadFile(file.handle.get(), destination + total, ask, &got, nullptr);
    ++file.readCalls;
    total += got;
    if (got < ask) break;
  }
  return total;
}

std::int64_t TakeUnread(FileObject& file, std::byte* destination, std::int64_t length) {
  std::int64_t count = std::min<std::int64_t>(length, file.unread);
  std::memcpy(destination, file.buffer.get() + (file.filled - file.unread), static_cast<std::size_t>(count));
  file.unread -= static_cast<std::int32_t>(count);
  return count;
}

void Refill(FileObject& file) {
  auto got = static_cast<std::int32_t>(ReadPlatform(file, file.buffer.get(), kFileBufferSize));
  file.filled = got;
  file.unread = got;
}

std::int64_t ReadBuffered(FileObject& file, std::byte* destination, std::int64_t length) {
  std::int64_t copied = TakeUnread(file, destination, length);
  std::int64_t rest = length - copied;
  if (rest == 0) return copied;
  if (rest >= kFileBufferSize) return copied + ReadPlatform(file, destination + copied, rest);
  Refill(file);
  return copied + TakeUnread(file, destination + copied, rest);
}

// A file open under `number` is closed first; the new one is entered once it
// is open.
std::int64_t Open(std::int64_t number, const wchar_t* path) {
  std::optional<std::int64_t> obtained = g_files->Obtain(number);
  if (!obtained) return 0;
  // Until the record is offered to Put, giving up (memory running out
  // included) gives the number back.
  auto giveBack = scope_exit([&] { g_files->Release(*obtained); });
  auto file = std::make_shared<FileObject>();
  file->handle = OpenExclusiveRead(path);
  if (!file->handle) return 0;
  file->buffer = HeapBlockAllocate(kFileBufferSize, false);
  HANDLE platform = file->handle.get();
  giveBack.dismiss();
  if (!g_files->Put(*obtained, FileRecord{std::move(file)})) return 0;
  return number == -1 ? *obtained : reinterpret_cast<std::intptr_t>(platform);
}

}  // namespace

void FileStartup() {}

// The handles go back to the platform; the records keep their read buffers
// until the process ends, as a worker may still be inside a read.
// A read still under way keeps its share of the file: its buffer and handle
// go when it is done.
void FileShutdown() { FileClose(-1); }

std::int64_t FileOpenRead(std::int64_t number, const wchar_t* path) {
  return OrOnNoMemory(std::int64_t{0}, [&] { return Open(number, path); });
}

std::int64_t FileReadByte(std::int64_t number) {
  std::int8_t value = 0;
  FileReadData(number, &value, 1);
  return value;
}

std::int64_t FileReadData(std::int64_t number, void* destination, std::int64_t length) {
  std::shared_ptr<FileObject> file = FindOpen(number);
  if (!file || !destination || length <= 0) return 0;
  auto* bytes = static_cast<std::byte*>(destination);
  return file->buffer ? ReadBuffered(*file, bytes, length) : ReadPlatform(*file, bytes, length);
}

std::int64_t FileOpenSize(std::int64_t number) {
  std::shared_ptr<FileObject> file = FindOpen(number);
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file->handle.get(), &size)) return -1;
  return size.QuadPart;
}

int FileIsOpen(std::int64_t number) { return FindOpen(number) ? 1 : 0; }

void FileClose(std::int64_t number) {
  if (number == -1)
    g_files->CloseAll();
  else
    g_files->Take(number);  // the file closes when the last share of it goes
}

std::int64_t FileReadCallCount(std::int64_t number) {
  std::shared_ptr<FileObject> file = FindOpen(number);
  return file ? file->readCalls : 0;
}
