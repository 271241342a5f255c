// The assembler's result per source line: record k for line k+1, its byte
// count and its address (during the passes the run-time address of the
// line's first byte, after a successful run its offset in the output).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace quorix {

struct LineRecord {
  uint32_t ByteCount;
  uint32_t Address;
  friend constexpr bool operator==(const LineRecord&, const LineRecord&) = default;
};
static_assert(sizeof(LineRecord) == 8);

// The LineRecord array in its workspace region. Records outside the region
// read as zero and are not written.
class LineRecords {
 public:
  LineRecords() = default;
  // Whole records of the region; the region's start must be 4-byte aligned.
  explicit LineRecords(std::span<uint8_t> region);

  size_t size() const { return records_.size(); }
  LineRecord Get(size_t k) const { return k < records_.size() ? records_[k] : LineRecord{}; }
  void Set(size_t k, LineRecord r) {
    if (k < records_.size()) records_[k] = r;
  }
  std::span<LineRecord> all() const { return records_; }

 private:
  std::span<LineRecord> records_;
};

}  // namespace quorix
