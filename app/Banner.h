// The banner picture stored in the program's resources.
#pragma once

#include <cstddef>
#include <span>

// The embedded PNG as it is stored in the module; empty when it is missing.
std::span<const std::byte> BannerPicture();
