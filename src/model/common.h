// Values shared by every layer of the core.
#pragma once

#include <cstdint>

namespace quorix {

inline constexpr uint32_t kFail = 0xFFFFFFFFu;  // -1: failure / not found

}  // namespace quorix
