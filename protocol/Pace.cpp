#include "protocol/Pace.h"

namespace fwu {

std::string_view PaceName(Pace pace) { return pace == Pace::kStream ? "stream" : "byte"; }

std::optional<Pace> PaceNamed(std::string_view name) {
  for (Pace pace : {Pace::kByte, Pace::kStream})
    if (PaceName(pace) == name) return pace;
  return std::nullopt;
}

}  // namespace fwu
