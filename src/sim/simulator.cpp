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

void SimulateStep(ContextRecord* record, CpuState* cpu, AsmEnv& env) {
  ContextRecord r = *record;
  if (env.symbols.generation != env.ws.load().generation) {
    CollectSymbols(record, record->AddrFunct, env);
    env.symbols.generation = env.ws.load().generation;
  }
  // Four zero bytes stay behind the longest line for ParseNumber's quote form.
  uint8_t buf[kSimLineBuffer + 4] = {};
  std::span<uint8_t> line(buf, kSimLineBuffer);
  uint32_t n = FetchLine(r.PosSCL, env.ws.Tail(r.lpMemForSource), env.ws.Tail(r.IndSource), line,
                         r.Ukuran, r.LineCountsForFile);
  if (n != kFail) {
    env.platform.UpperCase(line);
    n = CleanLine(line, n);
    if (n != kFail && n != 0) SimulateLine(&r, cpu, buf, env);
  }
  if (r.MouButt == 0) r.state = StateDebug;
  *record = r;
}

void SimulateLine(ContextRecord* record, CpuState* cpu, uint8_t* line, AsmEnv& env) {
  ContextRecord r = *record;
  CpuState c = *cpu;
  if (c.CpuMode == kModeNotSet) c.CpuMode = kMode16;

  if (line[0] == '[') ApplyBits(line, c);

  // The encoder's recognition tree, reduced to the branches that act here.
  if (line[0] == 'J' && line[1] == 'M' && line[3] != 'S') {
    SymbolHit hit = LookupSymbol(&r, line, env);
    if (hit.line != 0) r.PosSCL = hit.line;  // found: continue at the label's line
  } else if (line[0] == 'S' && line[1] == 'U' && line[2] == 'B') {
    uint32_t cls = 0;
    (void)ParseRegisterPair(line, &cls);  // read, nothing changes
  }

  *cpu = c;
  *record = r;
}

}  // namespace quorix
