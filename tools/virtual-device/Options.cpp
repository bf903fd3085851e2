#include "Options.h"

#include <cstdlib>
#include <functional>
#include <map>

namespace {

std::optional<long> ParseCount(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || value < 0) return std::nullopt;
  return value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

using ValueSetter = std::function<bool(Options&, const std::string&)>;

ValueSetter Text(std::string Options::*field) {
  return [field](Options& o, const std::string& v) {
    o.*field = v;
    return !v.empty();
  };
}

ValueSetter Count(long Options::*field) {
  return [field](Options& o, const std::string& v) {
    auto n = ParseCount(v);
    if (n) o.*field = *n;
    return n.has_value();
  };
}

ValueSetter OptionalCount(std::optional<long> Options::*field) {
  return [field](Options& o, const std::string& v) {
    o.*field = ParseCount(v);
    return (o.*field).has_value();
  };
}

ValueSetter Hex(Bytes Options::*field) {
  return [field](Options& o, const std::string& v) {
    auto bytes = ParseHex(v);
    if (bytes) o.*field = *bytes;
    return bytes.has_value();
  };
}

const std::map<std::string, ValueSetter>& ValueOptions() {
  static const std::map<std::string, ValueSetter> options{
      {"--link", [](Options& o, const std::string& v) { o.links.push_back(v); return !v.empty(); }},
      {"--wine-prefix", Text(&Options::winePrefix)},
      {"--com", Text(&Options::com)},
      {"--log", Text(&Options::logFile)},
      {"--events", Text(&Options::eventsFile)},
      {"--ready", Text(&Options::readyFile)},
      {"--stop-file", Text(&Options::stopFile)},
      {"--body-length", OptionalCount(&Options::bodyLength)},
      {"--gap-ms", Count(&Options::gapMs)},
      {"--first-answer", Hex(&Options::firstAnswer)},
      {"--second-answer", Hex(&Options::secondAnswer)},
      {"--answer-delay-ms", Count(&Options::answerDelayMs)},
      {"--stale", Hex(&Options::stale)},
      {"--pace-baud", Count(&Options::paceBaud)},
      {"--read-interval-ms", Count(&Options::readIntervalMs)},
      {"--hang-up-after", OptionalCount(&Options::hangUpAfter)},
      {"--sessions", Count(&Options::sessions)},
  };
  return options;
}

}  // namespace

std::optional<Bytes> ParseHex(const std::string& text) {
  if (text.size() % 2) return std::nullopt;
  Bytes bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return bytes;
}

std::string FormatHex(const std::uint8_t* bytes, std::size_t count) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

const char* UsageText() {
  return "usage: virtual-device [--link PATH] [--wine-prefix DIR --com COMn] [--log FILE]\n"
         "         [--events FILE] [--ready FILE] [--stop-file FILE] [--body-length N]\n"
         "         [--gap-ms N] [--first-answer HEX] [--second-answer HEX]\n"
         "         [--answer-delay-ms N] [--stale HEX] [--pace-baud N] [--read-interval-ms N]\n"
         "         [--hang-up-after N] [--sessions N] [--quiet]\n";
}

std::optional<Options> ParseOptions(int argc, char** argv, std::string& error) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (name == "--quiet") {
      options.quiet = true;
      continue;
    }
    auto option = ValueOptions().find(name);
    if (option == ValueOptions().end()) {
      error = "unknown option " + name;
      return std::nullopt;
    }
    if (i + 1 >= argc) {
      error = name + " needs a value";
      return std::nullopt;
    }
    std::string value = argv[++i];
    if (!option->second(options, value)) {
      error = "bad value for " + name + ": '" + value + "'";
      return std::nullopt;
    }
  }
  if (!options.winePrefix.empty() && options.com.empty()) {
    error = "--wine-prefix needs --com";
    return std::nullopt;
  }
  return options;
}
