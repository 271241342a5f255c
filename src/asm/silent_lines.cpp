#include "asm/silent_lines.h"

#include <cstring>

#include "asm/driver.h"
#include "text/lines.h"

namespace quorix {

namespace {

bool WordIs(const uint8_t* w, const char* key) {
  return std::memcmp(w, key, std::strlen(key)) == 0;
}

bool Ends(uint8_t c) { return c == 0 || c == ' ' || c == kTab || c == kCR; }

}  // namespace

bool IsInstructionLine(const uint8_t* line) {
  if (line[0] == 0 || line[0] == kCR || line[0] == '[' || line[0] == '@') return false;
  size_t first = 0;
  while (!Ends(line[first])) {
    if (line[first] == ':') return false;  // NAME: defines a label
    ++first;
  }
  if (first == 2 && line[0] == 'D' && (line[1] == 'B' || line[1] == 'W' || line[1] == 'D'))
    return false;
  const uint8_t* second = line + first;
  while (*second == ' ' || *second == kTab) ++second;
  if (WordIs(second, "PROC") || WordIs(second, "DATA") || WordIs(second, "LABE")) return false;
  return true;
}

std::vector<uint32_t> LinesWithoutBytes(AsmEnv& env) {
  std::vector<uint32_t> out;
  const SourceText& source = env.regions.source;
  const LineRecords& records = env.regions.records;
  uint8_t buf[kLineBufferSize + 8] = {};
  std::span<uint8_t> line(buf, kLineBufferSize);
  for (uint32_t n = 1; n < source.lineCount && n - 1 < records.size(); ++n) {
    if (records.Get(n - 1).ByteCount != 0) continue;
    std::memset(buf, 0, sizeof buf);
    const uint32_t len = FetchLine(source, n, line);
    if (len == kFail) continue;
    env.services.UpperCase(line);
    if (CleanLine(line, len) == 0) continue;
    if (IsInstructionLine(buf)) out.push_back(n);
  }
  return out;
}

}  // namespace quorix
