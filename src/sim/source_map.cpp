#include "sim/source_map.h"

#include <algorithm>
#include <cstdio>

#include "asm/symbols.h"
#include "sim/dos_program.h"

namespace quorix {

SourceMap::SourceMap(std::span<const LineRecord> records, uint32_t lineCount, uint32_t origin,
                     uint32_t imageSize, std::vector<Label> labels)
    : origin_(origin), imageSize_(imageSize), labels_(std::move(labels)) {
  lineOf_.assign(imageSize, 0);
  start_.assign(lineCount + 1, 0);
  count_.assign(lineCount + 1, 0);
  for (uint32_t line = 1; line <= lineCount && line - 1 < records.size(); ++line) {
    const LineRecord r = records[line - 1];
    if (r.ByteCount == 0 || r.Address >= imageSize) continue;
    start_[line] = r.Address;
    count_[line] = static_cast<uint32_t>(std::min<uint64_t>(r.ByteCount, imageSize - r.Address));
    for (uint32_t j = 0; j < count_[line]; ++j) lineOf_[r.Address + j] = line;
  }
  std::stable_sort(labels_.begin(), labels_.end(),
                   [](const Label& a, const Label& b) { return a.address < b.address; });
}

uint32_t SourceMap::LineAt(uint32_t address) const {
  const uint32_t offset = address - origin_;
  return address >= origin_ && offset < lineOf_.size() ? lineOf_[offset] : 0;
}

uint32_t SourceMap::EndOfLineAt(uint32_t address) const {
  const uint32_t line = LineAt(address);
  return line == 0 ? 0 : origin_ + start_[line] + count_[line];
}

bool SourceMap::StartsLine(uint32_t address) const {
  const uint32_t line = LineAt(address);
  return line != 0 && origin_ + start_[line] == address;
}

uint32_t SourceMap::LineWithBytesFrom(uint32_t line) const {
  for (uint32_t n = std::max<uint32_t>(line, 1); n < count_.size(); ++n)
    if (count_[n] != 0) return n;
  return 0;
}

uint32_t SourceMap::AddressOfLine(uint32_t line) const {
  return line < start_.size() ? origin_ + start_[line] : 0;
}

const Label* SourceMap::LabelAt(uint32_t address) const {
  auto it = std::upper_bound(labels_.begin(), labels_.end(), address,
                             [](uint32_t a, const Label& l) { return a < l.address; });
  if (it == labels_.begin() || std::prev(it)->address != address) return nullptr;
  return &*std::prev(it);
}

std::string SourceMap::NameOf(uint32_t address) const {
  if (address < origin_ || address - origin_ >= imageSize_) return {};
  auto it = std::upper_bound(labels_.begin(), labels_.end(), address,
                             [](uint32_t a, const Label& l) { return a < l.address; });
  if (it == labels_.begin()) return {};
  const Label& l = *std::prev(it);
  if (l.address == address) return l.name;
  char distance[16];
  std::snprintf(distance, sizeof distance, "+%X", address - l.address);
  return l.name + distance;
}

std::vector<Label> LabelsOf(const SourceText& source, std::span<const LineRecord> records,
                            uint32_t origin) {
  std::vector<Label> labels;
  for (uint32_t n = 1; n < source.lineCount; ++n) {
    std::string name = LabelNameOfLine(source, n);
    // A label's address is that of the line after it (record n).
    if (name.empty() || n >= records.size()) continue;
    labels.push_back({std::move(name), origin + records[n].Address, n});
  }
  return labels;
}

DebugTarget TargetOfAssembly(std::span<const uint8_t> bytes, const AssembleReport& report,
                             std::span<const LineRecord> records, const SourceText& source) {
  DebugTarget t;
  t.image.assign(bytes.begin(), bytes.end());
  t.bits = report.entryBits == 32 ? 32 : 16;
  t.origin = LoadOrigin(report.origin, t.bits);
  t.source = SourceMap(records, source.lineCount, t.origin, static_cast<uint32_t>(bytes.size()),
                       LabelsOf(source, records, t.origin));
  return t;
}

}  // namespace quorix
