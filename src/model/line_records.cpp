#include "model/line_records.h"

#include <cassert>
#include <cstdint>

namespace quorix {

LineRecords::LineRecords(std::span<uint8_t> region) {
  if (region.data() == nullptr) return;
  assert(reinterpret_cast<uintptr_t>(region.data()) % alignof(LineRecord) == 0);
  // The region is zero-filled memory of the workspace block: its records
  // are implicit-lifetime objects that need no construction.
  records_ = {reinterpret_cast<LineRecord*>(region.data()), region.size() / sizeof(LineRecord)};
}

}  // namespace quorix
