// Numbered files opened read-only and read through a 4096-byte buffer, the
// size of a file by its path, an is-open query and a close.
//
// Return rules: FileOpenRead gives 0 when the file cannot be opened (missing,
// a directory, not readable, or held open by another handle) or the path names
// no file on a disk (a serial port, the console, a pipe, a raw disk or volume:
// such paths are refused without being opened), else the platform handle, or
// for the number -1 the new object's number. Paths of any length the platform
// takes are opened.
// FileReadByte gives 0 at the end of the file, after a read error and for a
// number that holds no open file; FileReadData gives the count of bytes it
// delivered. FileSize gives -1 when nothing is found and -2 for a directory or
// a drive root. FileIsOpen and FileReadCallCount give 0 for a number that holds
// no open file. Nothing here shows messages, keeps error codes or throws: when
// memory runs out an operation gives 0 as well.
//
// Threads: a file is read by one thread at a time. A close from another
// thread (close-all at shut-down) may come during a read: the read finishes on
// the file it began with, which closes when that read is done.
#pragma once

#include <cstdint>

// Size of every file's read buffer; a request that the buffer cannot serve
// and that is at least this long goes straight to the caller's memory.
inline constexpr std::int32_t kFileBufferSize = 4096;

void FileStartup();
// Closes every file still open; a read under way on another thread keeps its
// file's buffer and handle until it is done.
void FileShutdown();

// Opens `path` for reading without sharing. A file open under `number` is
// closed first.
std::int64_t FileOpenRead(std::int64_t number, const wchar_t* path);
// The next byte as a signed 8-bit value widened (0xFF reads as -1).
std::int64_t FileReadByte(std::int64_t number);
// Reads up to `length` bytes into `destination` through the read buffer.
std::int64_t FileReadData(std::int64_t number, void* destination, std::int64_t length);
// Size in bytes of the file `path` names; wildcards report the first match.
// The file is never opened, so this works while it is held without sharing.
std::int64_t FileSize(const wchar_t* path);
// Size in bytes of the open file `number`, asked of its handle: always the
// file that is read, whatever its name names by now (a file renamed over it,
// a folder listing a share's client keeps). -1 when the number holds no open
// file or the platform cannot tell.
std::int64_t FileOpenSize(std::int64_t number);
int FileIsOpen(std::int64_t number);
// -1 closes every open file.
void FileClose(std::int64_t number);

// Platform reads (ReadFile calls) made for the file since it was opened.
std::int64_t FileReadCallCount(std::int64_t number);
