// File objects: the registry of open files and the buffered reads.
//
// Threads: the registry lock guards the slot operations (obtain, look up,
// release). The fields of an open file object belong to the one thread that
// uses the file (in the program, the upload worker), so reads take no lock.
#include "File.h"

#include "runtime/base/Heap.h"
#include "runtime/base/UniqueHandle.h"
#include "runtime/registry/ObjectRegistry.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace {

struct FileRecord {
  UniqueFileHandle handle;
  // Null when no memory could be had; every read then goes to the platform.
  HeapBlock buffer;
  // Invariant: 0 <= unread <= filled <= kFileBufferSize; the next byte to hand
  // out is buffer[filled - unread].
  std::int32_t unread = 0;
  std::int32_t filled = 0;
  std::int64_t readCalls = 0;
};

ObjectRegistry<FileRecord> g_files(16, 16, FileClose);

FileRecord* FindOpen(std::int64_t number) { return g_files.Find(number); }

// CreateFileW reports failure as INVALID_HANDLE_VALUE; 0 is refused as well.
// Only a file on a disk counts: a path naming a device (a serial port, the
// console, a pipe) opens it too, and a read of it can wait without end.
UniqueFileHandle OpenExclusiveRead(const wchar_t* path) {
  HANDLE opened = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  UniqueFileHandle handle(opened ? opened : INVALID_HANDLE_VALUE);
  if (handle && GetFileType(handle.get()) != FILE_TYPE_DISK) handle.reset();
  return handle;
}

// One ReadFile per call of at most MAXDWORD bytes; the count the platform
// reports (0 on an error) is all that matters.
std::int64_t ReadPlatform(FileRecord& file, std::byte* destination, std::int64_t length) {
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

std::int64_t TakeUnread(FileRecord& file, std::byte* destination, std::int64_t length) {
  std::int64_t count = std::min<std::int64_t>(length, file.unread);
  std::memcpy(destination, file.buffer.get() + (file.filled - file.unread), static_cast<std::size_t>(count));
  file.unread -= static_cast<std::int32_t>(count);
  return count;
}

void Refill(FileRecord& file) {
  auto got = static_cast<std::int32_t>(ReadPlatform(file, file.buffer.get(), kFileBufferSize));
  file.filled = got;
  file.unread = got;
}

std::int64_t ReadBuffered(FileRecord& file, std::byte* destination, std::int64_t length) {
  std::int64_t copied = TakeUnread(file, destination, length);
  std::int64_t rest = length - copied;
  if (rest == 0) return copied;
  if (rest >= kFileBufferSize) return copied + ReadPlatform(file, destination + copied, rest);
  Refill(file);
  return copied + TakeUnread(file, destination + copied, rest);
}

}  // namespace

void FileStartup() {}

// The handles go back to the platform; the records keep their read buffers
// until the process ends, as a worker may still be inside a read.
void FileShutdown() {
  for (std::int64_t number : g_files.LiveNumbers()) {
    UniqueFileHandle handle;
    {
      auto guard = g_files.Lock();
      if (FileRecord* file = FindOpen(number)) handle = std::move(file->handle);
    }
  }
}

std::int64_t FileOpenRead(std::int64_t number, const wchar_t* path) {
  auto obtained = g_files.Obtain(number);
  if (!obtained.record) return 0;
  UniqueFileHandle handle = OpenExclusiveRead(path);
  if (!handle) {
    g_files.Release(obtained.number);
    return 0;
  }
  HeapBlock buffer = HeapBlockAllocate(kFileBufferSize, false);

  auto guard = g_files.Lock();
  HANDLE platform = handle.get();
  obtained.record->handle = std::move(handle);
  obtained.record->buffer = std::move(buffer);
  return number == -1 ? obtained.number : reinterpret_cast<std::intptr_t>(platform);
}

std::int64_t FileReadByte(std::int64_t number) {
  std::int8_t value = 0;
  FileReadData(number, &value, 1);
  return value;
}

std::int64_t FileReadData(std::int64_t number, void* destination, std::int64_t length) {
  FileRecord* file = FindOpen(number);
  if (!file || !destination || length <= 0) return 0;
  auto* bytes = static_cast<std::byte*>(destination);
  return file->buffer ? ReadBuffered(*file, bytes, length) : ReadPlatform(*file, bytes, length);
}

int FileIsOpen(std::int64_t number) { return FindOpen(number) ? 1 : 0; }

void FileClose(std::int64_t number) {
  if (number == -1) {
    g_files.CloseAll();
    return;
  }
  if (!FindOpen(number)) return;
  // The taken record closes its handle and frees its buffer as it goes.
  g_files.Take(number);
}

std::int64_t FileReadCallCount(std::int64_t number) {
  FileRecord* file = FindOpen(number);
  return file ? file->readCalls : 0;
}
