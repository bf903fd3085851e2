// The device's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

struct Options {
  std::vector<std::string> links;  // --link, and the one --wine-prefix/--com makes
  std::string winePrefix;
  std::string com;
  std::string logFile;
  std::string eventsFile;
  std::string readyFile;
  std::string stopFile;
  std::optional<long> bodyLength;
  long gapMs = 300;
  Bytes firstAnswer{0x4F, 0x4B};
  Bytes secondAnswer{0x4F, 0x4B};
  long answerDelayMs = 0;
  Bytes stale;
  long paceBaud = 0;  // 0: read as fast as the bytes come
  long readIntervalMs = 0;  // rest after each read, so bytes gather
  std::optional<long> hangUpAfter;
  long sessions = 0;  // 0: no limit
  bool quiet = false;
};

// The options, or nothing with `error` saying why.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error);
// Usage text for --help and errors.
const char* UsageText();
// "4F4B" -> {0x4F, 0x4B}; "" -> {}; nothing for odd lengths or non-hex digits.
std::optional<Bytes> ParseHex(const std::string& text);
std::string FormatHex(const std::uint8_t* bytes, std::size_t count);
inline std::string FormatHex(const Bytes& bytes) { return FormatHex(bytes.data(), bytes.size()); }
