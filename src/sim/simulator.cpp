#include "sim/simulator.h"

#include "asm/operands.h"
#include "asm/symbols.h"
#include "text/lines.h"
#include "text/number.h"

namespace quorix {

namespace {

constexpr uint32_t kModeNotSet = 0;
constexpr uint32_t kMode16 = 1;
constexpr uint32_t kMode32 = 2;
constexpr uint32_t kModeOther = 0xFFFFFFFF;

// [BITS n]: the number after the first blank that follows the keyword, read
// once the first ']' has been turned into a blank. A bracket line without
// ']' is not a complete directive and is ignored, as the assembler does.
void ApplyBits(uint8_t* line, CpuState& c) {
  uint8_t* keyword = SkipBlanks(line + 1);
  if (BytesEqual(keyword, reinterpret_cast<const uint8_t*>("BITS"), 4) == 0) return;
  uint32_t close = FindChar(line, ']');
  if (close == kFail) return;
  line[close - 1] = ' ';
  uint32_t blank = FindChar(keyword, ' ');
  if (blank == kFail) return;
  uint32_t value = ParseNumber(SkipBlanks(keyword + blank));
  c.CpuMode = value == 16 ? kMode16 : value == 32 ? kMode32 : kModeOther;
}

}  // namespace

void SimulateSourceLine(uint32_t* position, CpuState* cpu, AsmEnv& env) {
  if (env.symbols.generation != env.ws.load().generation) {
    CollectSymbols(env);
    env.symbols.generation = env.ws.load().generation;
  }
  // Four zero bytes stay behind the longest line for ParseNumber's quote form.
  uint8_t buf[kSimLineBuffer + 4] = {};
  std::span<uint8_t> line(buf, kSimLineBuffer);
  uint32_t n = FetchLine(env.regions.source, *position, line);
  if (n != kFail) {
    env.services.UpperCase(line);
    n = CleanLine(line, n);
    if (n != kFail && n != 0) SimulateLine(position, cpu, buf, env);
  }
}

void SimulateLine(uint32_t* position, CpuState* cpu, uint8_t* line, AsmEnv& env) {
  CpuState c = *cpu;
  if (c.CpuMode == kModeNotSet) c.CpuMode = kMode16;

  if (line[0] == '[') ApplyBits(line, c);

  // The encoder's recognition tree, reduced to the branches that act here.
  if (line[0] == 'J' && line[1] == 'M' && line[3] != 'S') {
    SymbolHit hit = LookupSymbol(line, env);
    if (hit.line != 0) *position = hit.line;  // found: continue at the label's line
  } else if (line[0] == 'S' && line[1] == 'U' && line[2] == 'B') {
    uint32_t cls = 0;
    (void)ParseRegisterPair(line, &cls);  // read, nothing changes
  }

  *cpu = c;
}

}  // namespace quorix
