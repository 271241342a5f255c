// What the debugger knows of a program's source: the line behind each
// address, the address of each line, and the labels with their addresses.
// Addresses are what IP (EIP) holds: the origin plus the offset in the image.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "asm/driver.h"
#include "model/line_records.h"
#include "model/source_text.h"

namespace quorix {

struct Label {
  std::string name;
  uint32_t address = 0;
  uint32_t line = 0;  // the label's own line
};

class SourceMap {
 public:
  SourceMap() = default;
  // `records` as a successful assembly leaves them: record k for line k+1
  // (its byte count and its offset in the image), one more after the last.
  SourceMap(std::span<const LineRecord> records, uint32_t lineCount, uint32_t origin,
            uint32_t imageSize, std::vector<Label> labels);

  bool empty() const { return lineOf_.empty(); }
  // The line whose bytes cover the address (0: none).
  uint32_t LineAt(uint32_t address) const;
  // Where the bytes of that line end (0: no line).
  uint32_t EndOfLineAt(uint32_t address) const;
  // True when the address is the first byte of its line.
  bool StartsLine(uint32_t address) const;
  // The first line from `line` on that has bytes (0: none).
  uint32_t LineWithBytesFrom(uint32_t line) const;
  // The address of the first byte of a line that has bytes.
  uint32_t AddressOfLine(uint32_t line) const;
  // The label at exactly this address (the last one defined there), or null.
  const Label* LabelAt(uint32_t address) const;
  // The nearest label at or below an address inside the image, with the
  // distance: "ARR", "ARR+1"; empty outside the image or before any label.
  std::string NameOf(uint32_t address) const;
  const std::vector<Label>& labels() const { return labels_; }
  uint32_t origin() const { return origin_; }
  uint32_t imageSize() const { return imageSize_; }

 private:
  uint32_t origin_ = 0;
  uint32_t imageSize_ = 0;
  std::vector<uint32_t> lineOf_;  // by offset in the image
  std::vector<uint32_t> start_;   // by line: offset of its first byte
  std::vector<uint32_t> count_;   // by line: its bytes
  std::vector<Label> labels_;     // by address, then by line
};

// The labels a source defines, with the addresses the assembly gave them.
std::vector<Label> LabelsOf(const SourceText& source, std::span<const LineRecord> records,
                            uint32_t origin);

// A program for the debugger: its bytes, where and how it runs, and its
// source when it has one.
struct DebugTarget {
  std::vector<uint8_t> image;
  uint32_t origin = 0x100;  // where it loads (LoadOrigin applied)
  uint32_t bits = 16;
  SourceMap source;
};

// The target of a successful assembly of `source`.
DebugTarget TargetOfAssembly(std::span<const uint8_t> bytes, const AssembleReport& report,
                             std::span<const LineRecord> records, const SourceText& source);

}  // namespace quorix
