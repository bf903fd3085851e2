#include "cli/windows/SystemMessage.h"

#include "cli/windows/Wide.h"

namespace fwu::cli {

std::string SystemMessage(DWORD error) {
  wchar_t text[512] = {};
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                text, static_cast<DWORD>(std::size(text)), nullptr);
  while (length > 0 && (text[length - 1] == L'\n' || text[length - 1] == L'\r' || text[length - 1] == L' '))
    --length;
  if (length == 0) return "error " + std::to_string(error);
  return Narrowed(std::wstring_view(text, length));
}

}  // namespace fwu::cli
