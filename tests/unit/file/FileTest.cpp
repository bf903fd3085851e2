#include "runtime/file/File.h"
#include "runtime/base/UniqueHandle.h"
#include "tests/support/FailingAllocations.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winioctl.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// A folder of its own under the temp folder, removed with what the test put
// into it.
class TempFolder {
 public:
  TempFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"fwu-file-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    FileClose(-1);
    for (auto it = made_.rbegin(); it != made_.rend(); ++it)
      if (!DeleteFileW(it->c_str())) RemoveDirectoryW(it->c_str());
    RemoveDirectoryW(path_.c_str());
  }
  const std::wstring& Path() const { return path_; }
  std::wstring Write(const std::wstring& name, const std::vector<std::uint8_t>& bytes) {
    std::wstring file = Remember(name);
    UniqueFileHandle handle(
        CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!bytes.empty()) WriteFile(handle.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    EXPECT_EQ(written, bytes.size());
    return file;
  }
  std::wstring MakeFolder(const std::wstring& name) {
    std::wstring folder = Remember(name);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
  }
  std::wstring Remember(const std::wstring& name) {
    made_.push_back(path_ + L"\\" + name);
    return made_.back();
  }

 private:
  std::wstring path_;
  std::vector<std::wstring> made_;
};

std::vector<std::uint8_t> Pattern(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return bytes;
}

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t count) {
  return {bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

// Reads `count` bytes of file 0 through FileReadData; the result is cut to
// what was delivered.
std::vector<std::uint8_t> ReadData(std::int64_t count) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
  std::int64_t got = FileReadData(0, bytes.data(), count);
  bytes.resize(static_cast<std::size_t>(got));
  return bytes;
}

bool CanOpenExclusively(const std::wstring& path) {
  UniqueFileHandle handle(
      CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return static_cast<bool>(handle);
}

TEST(FileRead, EmptyFileOpensReadsZeroAndHasSizeZero) {
  TempFolder folder;
  std::wstring path = folder.Write(L"empty.fw", {});
  EXPECT_NE(FileOpenRead(0, path.c_str()), 0);
  EXPECT_EQ(FileIsOpen(0), 1);
  EXPECT_EQ(FileReadByte(0), 0);
  EXPECT_EQ(FileReadByte(0), 0);
  EXPECT_EQ(FileSize(path.c_str()), 0);
  FileClose(0);
  EXPECT_EQ(FileIsOpen(0), 0);
  EXPECT_EQ(FileReadByte(0), 0);
}

TEST(FileRead, BytesComeInOrderSignExtendedThenZeroWithOneReadPerCallPastTheEnd) {
  TempFolder folder;
  std::vector<std::uint8_t> bytes{0x01, 0x7F, 0x80, 0xFF, 0x00, 0x4F, 0x4B, 0xFE, 0x10, 0x20};
  std::wstring path = folder.Write(L"Pr\u00fcfung-\u03a9-\u4e2d.fw", bytes);
  EXPECT_EQ(FileSize(path.c_str()), 10);
  ASSERT_NE(FileOpenRead(0, path.c_str()), 0);
  std::vector<std::int64_t> read;
  for (int i = 0; i < 10; ++i) read.push_back(FileReadByte(0));
  EXPECT_EQ(read, (std::vector<std::int64_t>{1, 127, -128, -1, 0, 0x4F, 0x4B, -2, 0x10, 0x20}));
  EXPECT_EQ(FileReadCallCount(0), 1);
  EXPECT_EQ(FileReadByte(0), 0);
  EXPECT_EQ(FileReadByte(0), 0);
  EXPECT_EQ(FileReadCallCount(0), 3) << "every read past the end asks the platform again";
}

TEST(FileRead, BufferRefillsEvery4096Bytes) {
  TempFolder folder;
  std::vector<std::uint8_t> bytes = Pattern(5000);
  std::wstring path = folder.Write(L"five-thousand.fw", bytes);
  ASSERT_NE(FileOpenRead(0, path.c_str()), 0);
  EXPECT_EQ(FileReadCallCount(0), 0);

  std::vector<std::uint8_t> read;
  for (int i = 0; i < 4096; ++i) read.push_back(static_cast<std::uint8_t>(FileReadByte(0)));
  EXPECT_EQ(FileReadCallCount(0), 1);
  for (int i = 0; i < 904; ++i) read.push_back(static_cast<std::uint8_t>(FileReadByte(0)));
  EXPECT_EQ(FileReadCallCount(0), 2);
  EXPECT_EQ(read, bytes);
  EXPECT_EQ(FileReadByte(0), 0);
  EXPECT_EQ(FileReadCallCount(0), 3);
}

// Requests longer than one byte: leftovers first, then a refill for a short
// rest or a read straight into the caller's memory for a long one.
TEST(FileRead, LongRequestsTakeLeftoversThenRefillOrReadStraight) {
  TempFolder folder;
  std::vector<std::uint8_t> bytes = Pattern(20000);
  std::wstring path = folder.Write(L"twenty-thousand.fw", bytes);
  ASSERT_NE(FileOpenRead(0, path.c_str()), 0);

  EXPECT_EQ(ReadData(10), Slice(bytes, 0, 10));
  EXPECT_EQ(FileReadCallCount(0), 1);
  EXPECT_EQ(ReadData(8192), Slice(bytes, 10, 8192)) << "4086 left over, then 4106 read straight";
  EXPECT_EQ(FileReadCallCount(0), 2);
  EXPECT_EQ(ReadData(100), Slice(bytes, 8202, 100)) << "a short rest refills";
  EXPECT_EQ(FileReadCallCount(0), 3);
  EXPECT_EQ(ReadData(3996), Slice(bytes, 8302, 3996)) << "served from the buffer alone";
  EXPECT_EQ(FileReadCallCount(0), 3);
  EXPECT_EQ(ReadData(3000), Slice(bytes, 12298, 3000)) << "nothing left over: refill";
  EXPECT_EQ(FileReadCallCount(0), 4);
  EXPECT_EQ(ReadData(10000), Slice(bytes, 15298, 4702)) << "1096 left over, then the file's end";
  EXPECT_EQ(ReadData(5).size(), 0u);
  EXPECT_EQ(FileReadData(0, nullptr, 5), 0);
}

TEST(FileOpen, ReopeningANumberClosesItsFileFirstAndAnyNumbersAreOwnObjects) {
  TempFolder folder;
  std::wstring first = folder.Write(L"first.fw", {0x11, 0x12});
  std::wstring second = folder.Write(L"second.fw", {0x21, 0x22});
  ASSERT_NE(FileOpenRead(0, first.c_str()), 0);
  EXPECT_EQ(FileReadByte(0), 0x11);
  EXPECT_FALSE(CanOpenExclusively(first));
  ASSERT_NE(FileOpenRead(0, second.c_str()), 0);
  EXPECT_TRUE(CanOpenExclusively(first)) << "the first file was closed";
  EXPECT_EQ(FileReadByte(0), 0x21) << "the new file starts from its first byte";

  std::int64_t any = FileOpenRead(-1, first.c_str());
  EXPECT_GE(any, std::int64_t{1} << 32);
  EXPECT_EQ(FileReadByte(any), 0x11);
  EXPECT_EQ(FileReadByte(0), 0x22);
  FileClose(-1);
  EXPECT_EQ(FileIsOpen(0), 0);
  EXPECT_EQ(FileIsOpen(any), 0);
  EXPECT_TRUE(CanOpenExclusively(first));
  EXPECT_TRUE(CanOpenExclusively(second));
}

TEST(FileOpen, FailsForMissingFilesFoldersDevicesAndFilesOthersHold) {
  TempFolder folder;
  std::wstring held = folder.Write(L"held.fw", {1, 2, 3});
  std::wstring sub = folder.MakeFolder(L"sub");
  EXPECT_EQ(FileOpenRead(0, (folder.Path() + L"\\missing.fw").c_str()), 0);
  EXPECT_EQ(FileOpenRead(0, sub.c_str()), 0);
  EXPECT_EQ(FileOpenRead(0, nullptr), 0);
  EXPECT_EQ(FileOpenRead(0, L""), 0);
  EXPECT_EQ(FileIsOpen(0), 0);

  // Devices open, but are no files: a read of a pipe that nobody writes to
  // would wait for good.
  std::wstring pipeName = L"\\\\.\\pipe\\fwu-file-" + std::to_wstring(GetCurrentProcessId());
  UniqueFileHandle pipe(
      CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 64, 64, 0, nullptr));
  ASSERT_TRUE(pipe);
  EXPECT_EQ(FileOpenRead(0, pipeName.c_str()), 0);
  EXPECT_EQ(FileOpenRead(0, L"NUL"), 0);
  EXPECT_EQ(FileIsOpen(0), 0);

  UniqueFileHandle writer(CreateFileW(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(writer);
  EXPECT_EQ(FileOpenRead(0, held.c_str()), 0);
  EXPECT_EQ(FileIsOpen(0), 0);
  EXPECT_EQ(FileSize(held.c_str()), 3) << "the size needs no open";
}

// A device path is refused before anything is opened: a pipe's server sees
// no client, as a serial port would see no open. Reserved names count in any
// folder and with any extension; a file's path of any length still opens.
TEST(FileOpen, DevicePathsAreRefusedBeforeAnyOpenAndLongPathsOpen) {
  std::wstring pipeName = L"\\\\.\\pipe\\fwu-never-" + std::to_wstring(GetCurrentProcessId());
  UniqueFileHandle pipe(CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 64,
                                         64, 0, nullptr));
  ASSERT_TRUE(pipe);
  EXPECT_EQ(FileOpenRead(0, pipeName.c_str()), 0);
  EXPECT_FALSE(ConnectNamedPipe(pipe.get(), nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_LISTENING)) << "no client ever came";

  TempFolder folder;
  for (std::wstring path : {L"nul", L"NUL.fw", L"com1", L"lpt1 .txt", L"CONIN$", L"\\\\.\\C:",
                            L"\\\\.\\PhysicalDrive0", L"\\\\?\\GLOBALROOT\\Device\\Null", L"\\??\\C:",
                            L"\\\\?\\C:"})
    EXPECT_EQ(FileOpenRead(0, path.c_str()), 0) << std::string(path.begin(), path.end());
  EXPECT_EQ(FileOpenRead(0, (folder.Path() + L"\\CON").c_str()), 0);

  std::wstring sub = folder.MakeFolder(std::wstring(100, L'd'));
  std::wstring longName = sub + L"\\" + std::wstring(300 - sub.size() - 4, L'x') + L".fw";
  UniqueFileHandle made(CreateFileW((L"\\\\?\\" + longName).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                    nullptr));
  ASSERT_TRUE(made);
  made.reset();
  EXPECT_NE(FileOpenRead(0, longName.c_str()), 0) << "a path of 300 characters";
  FileClose(0);
  DeleteFileW((L"\\\\?\\" + longName).c_str());
}

TEST(FileOpen, OutOfMemoryGivesZeroAndLeavesTheFileFree) {
  TempFolder folder;
  std::wstring path = folder.Write(L"a.fw", {1, 2, 3});
  std::int64_t grown = 1, made = 1, size = 0;
  {
    FailingAllocations noMemory;
    EXPECT_NO_THROW(grown = FileOpenRead(40, path.c_str()));
    EXPECT_NO_THROW(made = FileOpenRead(-1, path.c_str()));
    EXPECT_NO_THROW(size = FileSize(path.c_str()));
  }
  EXPECT_EQ(grown, 0);
  EXPECT_EQ(made, 0);
  EXPECT_EQ(size, -1);
  EXPECT_TRUE(CanOpenExclusively(path)) << "no handle was left open";
}

TEST(FileSize, FoldersAndDrivesGiveMinusTwoAndMissingPathsMinusOne) {
  TempFolder folder;
  std::wstring sub = folder.MakeFolder(L"sub");
  EXPECT_EQ(FileSize(sub.c_str()), -2);
  EXPECT_EQ(FileSize((sub + L"\\").c_str()), -2);
  EXPECT_EQ(FileSize((sub + L"\\/").c_str()), -2);
  EXPECT_EQ(FileSize((folder.Path() + L"\\missing.fw").c_str()), -1);
  EXPECT_EQ(FileSize(nullptr), -1);
  EXPECT_EQ(FileSize(L""), -1);

  EXPECT_EQ(FileSize(L"C:"), -2);
  EXPECT_EQ(FileSize(L"C:\\"), -2);
  EXPECT_EQ(FileSize(L"c:/"), -2);
  DWORD drives = GetLogicalDrives();
  wchar_t unused = 0;
  for (wchar_t letter = L'Y'; letter > L'D' && !unused; --letter)
    if (!(drives & (1u << (letter - L'A')))) unused = letter;
  ASSERT_NE(unused, 0);
  EXPECT_EQ(FileSize((std::wstring(1, unused) + L":").c_str()), -1);
  EXPECT_EQ(FileSize((std::wstring(1, unused) + L":\\").c_str()), -1);
}

TEST(FileSize, WildcardsReportTheFirstMatch) {
  TempFolder folder;
  folder.Write(L"only.fw", Pattern(10));
  folder.Write(L"other.bin", Pattern(20));
  EXPECT_EQ(FileSize((folder.Path() + L"\\*.fw").c_str()), 10);
  EXPECT_EQ(FileSize((folder.Path() + L"\\*.hex").c_str()), -1);
}

// "C:name" names a file in drive C's current folder, not the drive's root.
TEST(FileSize, DriveRelativeNamesAreFilesNotDrives) {
  TempFolder folder;
  folder.Write(L"a", Pattern(10));
  wchar_t previous[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryW(folder.Path().c_str()));
  std::int64_t size = FileSize((folder.Path().substr(0, 2) + L"a").c_str());
  SetCurrentDirectoryW(previous);
  EXPECT_EQ(size, 10);
}

// A path too long for a fixed copy must not be measured by its first part,
// which here names another, existing file.
TEST(FileSize, LongPathsAreNotCutShort) {
  TempFolder folder;
  std::wstring base = folder.Path() + L"\\";
  std::wstring name = (260 - base.size()) % 2 == 0 ? L"ab" : L"abc";
  folder.Write(name, Pattern(10));
  std::wstring padded = base;
  while (padded.size() + name.size() < 260) padded += L".\\";
  padded += name;
  ASSERT_EQ(padded.size(), 260u);
  EXPECT_EQ(FileSize(padded.c_str()), 10);
  EXPECT_EQ(FileSize((padded + L".bak").c_str()), -1);
}

TEST(FileSize, FilesAbove4GiBReportTheirWholeSize) {
  TempFolder folder;
  std::wstring path = folder.Remember(L"huge.fw");
  constexpr std::int64_t kSize = (std::int64_t{5} << 30) + 123;
  {
    UniqueFileHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD returned = 0;
    bool sparse = DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = kSize;
    if (!SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get()))
      GTEST_SKIP() << "the file system cannot hold a 5 GiB file (sparse: " << sparse << ")";
  }
  EXPECT_EQ(FileSize(path.c_str()), kSize);
  ASSERT_NE(FileOpenRead(0, path.c_str()), 0);
  EXPECT_EQ(FileReadByte(0), 0);
  EXPECT_EQ(FileSize(path.c_str()), kSize) << "while held open without sharing";
}

}  // namespace
