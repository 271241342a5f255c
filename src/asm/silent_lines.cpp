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

std::vector<uint32_t> LinesWithoutBytes(const ContextRecord& ctx, AsmEnv& env) {
  std::vector<uint32_t> out;
  Workspace& ws = env.ws;
  std::span<uint8_t> text = ws.Tail(ctx.lpMemForSource);
  std::span<const uint8_t> index = ws.Tail(ctx.IndSource);
  std::span<const uint8_t> records = ws.Tail(ctx.lpASCIIResult);
  uint8_t buf[kLineBufferSize + 8] = {};
  std::span<uint8_t> line(buf, kLineBufferSize);
  for (uint32_t n = 1; n < ctx.LineCountsForFile; ++n) {
    if (8 * static_cast<uint64_t>(n - 1) + 4 > records.size()) break;
    const uint8_t* count = records.data() + 8 * (n - 1);  // the line's byte count
    if ((count[0] | count[1] | count[2] | count[3]) != 0) continue;
    std::memset(buf, 0, sizeof buf);
    const uint32_t len = FetchLine(n, text, index, line, ctx.Ukuran, ctx.LineCountsForFile);
    if (len == kFail) continue;
    env.platform.UpperCase(line);
    if (CleanLine(line, len) == 0) continue;
    if (IsInstructionLine(buf)) out.push_back(n);
  }
  return out;
}

}  // namespace quorix
