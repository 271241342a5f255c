#include "asm/driver.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "asm/encoder.h"
#include "asm/records.h"
#include "asm/silent_lines.h"
#include "text/lines.h"

namespace quorix {

inline constexpr uint32_t kMaxLineRecords = 1'900'000 / 8;

std::string OutputNameFor(const char* sourcePath, size_t capacity) {
  std::string path(sourcePath ? sourcePath : "");
  size_t nameStart = path.find_last_of("\\/");
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  size_t dot = path.find('.', nameStart);
  std::string out = (dot == std::string::npos ? path : path.substr(0, dot)) + ".com";
  if (path.empty() || nameStart == path.size() || out.size() + 1 > capacity) return {};
  return out;
}

namespace {

// Writes LineRecord k (ByteCount, Address) when it lies inside the region.
void PutRecord(std::span<uint8_t> records, uint32_t k, uint32_t count, uint32_t address) {
  if (static_cast<uint64_t>(k) * 8 + 8 > records.size()) return;
  uint8_t* p = records.data() + 8 * k;
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<uint8_t>(count >> (8 * i));
    p[4 + i] = static_cast<uint8_t>(address >> (8 * i));
  }
}

// What pass 1 made of each line, so that pass 2 encodes the same text without
// fetching, upper-casing and cleaning it again. Pass 2 walks the lines in
// order, so each needs only its lengths: its characters follow the previous
// line's in `text`.
//
// A line that looked no label up and left the code width, origin and "@@"
// address as they were is "plain": from the same state it gives the same
// bytes in both passes. While pass 2 stays in step with pass 1 (every line
// so far started where it did in pass 1, in the same state), a plain line
// keeps the bytes and record pass 1 wrote, and is not encoded again.
struct CleanedLine {
  uint16_t length = 0;   // characters up to the NUL
  uint16_t dirtied = 0;  // line buffer bytes the fetch wrote (0: the fetch failed),
                         // with kEncode when the line is not blank or only a comment
  uint8_t bytes = 0;     // what pass 1 emitted for the line
  uint8_t flags = 0;     // kLookedUp, kChangedState
  static constexpr uint16_t kEncode = 0x8000;
  static constexpr uint8_t kLookedUp = 1;
  static constexpr uint8_t kChangedState = 2;
};
static_assert(kLineBufferSize < CleanedLine::kEncode);
static_assert(sizeof(InstructionRecord::OpCode) <= 0xFF);

// Pass 1's copies live in one block that the platform gives (in large pages
// where it can: the copies of a big source would otherwise cost a page fault
// every few kilobytes), sized up front: one entry per line, and the cleaned
// characters of all lines, which never outnumber the source's bytes.
class CleanedLines {
 public:
  CleanedLines(Platform& platform, size_t lines, size_t chars)
      : platform_(platform), lineCap_(lines), textCap_(chars) {
    const size_t size = lines * sizeof(CleanedLine) + chars;
    block_ = size ? static_cast<uint8_t*>(platform.AllocateZeroedBlock(size)) : nullptr;
    if (block_ == nullptr) {
      fallback_.assign(size, 0);
      base_ = fallback_.data();
    } else {
      base_ = block_;
    }
  }
  ~CleanedLines() {
    if (block_) platform_.ReleaseBlock(block_);
  }
  CleanedLines(const CleanedLines&) = delete;
  CleanedLines& operator=(const CleanedLines&) = delete;

  // Entry k (line k+1); null past the entries made room for.
  CleanedLine* Line(size_t k) {
    if (k >= lineCap_) return nullptr;
    return reinterpret_cast<CleanedLine*>(base_) + k;
  }
  // Appends n characters; false when they do not fit.
  bool Append(const uint8_t* p, size_t n) {
    if (n > textCap_ - textEnd_) return false;
    std::memcpy(Text() + textEnd_, p, n);
    textEnd_ += n;
    return true;
  }
  // n characters from offset, or null when they were never stored.
  const uint8_t* Chars(size_t offset, size_t n) {
    return offset <= textEnd_ && n <= textEnd_ - offset ? Text() + offset : nullptr;
  }

 private:
  uint8_t* Text() { return base_ + lineCap_ * sizeof(CleanedLine); }
  Platform& platform_;
  size_t lineCap_, textCap_, textEnd_ = 0;
  uint8_t* block_ = nullptr;
  std::vector<uint8_t> fallback_;
  uint8_t* base_ = nullptr;
};
static_assert(alignof(CleanedLine) <= alignof(std::max_align_t));

// The state a line's encoding starts from, besides the line itself and its
// offset.
bool SameState(const InstructionRecord& a, const InstructionRecord& b) {
  return a.BitsMode == b.BitsMode && a.Origin == b.Origin && a.AtLabel == b.AtLabel &&
         a.Spare == b.Spare && a.FunctList == b.FunctList;
}

// Where pass 1 left off after a line that changed the state: the next line's
// offset and the state it starts from.
struct StateAfter {
  uint32_t offset;
  InstructionRecord state;  // only the fields SameState compares count
};

}  // namespace

AssembleReport AssembleSource(ContextRecord* record, AsmEnv& env, const AssembleOptions& options) {
  AssembleReport report;
  uint64_t phaseStart = options.clock ? options.clock() : 0;
  auto endPhase = [&](AsmPhase phase) {
    if (!options.clock) return;
    const uint64_t now = options.clock();
    report.phaseTime[static_cast<int>(phase)] += now - phaseStart;
    phaseStart = now;
  };
  ContextRecord ctx = *record;
  Workspace& ws = env.ws;
  auto fail = [&](uint32_t line, std::string why) {
    ctx.state2 = CompileFailed;
    ctx.state3 = line;
    report.error = std::move(why);
  };

  uint32_t overflowLine = 0;
  if (CollectSymbols(record, ctx.AddrFunct, env, &overflowLine) == kFail) {
    fail(overflowLine, "too many label lines for the symbol table");
    *record = ctx;
    endPhase(AsmPhase::Symbols);
    return report;
  }
  endPhase(AsmPhase::Symbols);

  // Pass 1 reads a forward label's address from line records not written yet
  // in this run: they must read as zero, as after a load, not as whatever an
  // earlier run of the same source left there (which would make the failing
  // line depend on how often the source was compiled).
  ws.ClearWritten(Area::LineRecords);

  std::span<uint8_t> text = ws.Tail(ctx.lpMemForSource);
  std::span<const uint8_t> index = ws.Tail(ctx.IndSource);
  std::span<uint8_t> output = ws.Tail(ctx.lpMemHexResult);
  std::span<uint8_t> records = ws.Tail(ctx.lpASCIIResult);
  const uint32_t lines = ctx.LineCountsForFile;  // lines 1 .. lines-1

  InstructionRecord rec{};
  rec.Origin = 0;
  // The line buffer keeps a zeroed guard behind its 1,024 bytes: a character
  // literal reads four bytes past the end of the line.
  uint8_t buf[kLineBufferSize + 8] = {};
  std::span<uint8_t> lineSpan(buf, kLineBufferSize);
  bool failed = false;
  bool sawBytes = false;
  uint32_t outputEnd = 0;  // how far this run wrote into the output region
  const uint32_t lineSlots = lines > 1 ? std::min(lines - 1, kMaxLineRecords) : 0;
  CleanedLines cleanedLines(env.platform, lineSlots, std::min<size_t>(ctx.Ukuran, text.size()));
  size_t cleanedOffset = 0;  // where pass 2 reads the next line's characters
  // In step: pass 2 starts the next line at the offset and in the state in
  // which pass 1 started it. Pass 2 does not begin in step, since the origin
  // and the "@@" address carry over from pass 1's end (lines above an [ORG]
  // get other addresses); it gets in step at the first line after which both
  // passes agree, typically the [ORG] line itself.
  bool inStep = false;
  InstructionRecord pass1Start{};
  std::vector<StateAfter> changedStates;  // pass 1's, for each line that changed the state
  size_t nextChanged = 0;                  // pass 2's place in changedStates

  for (uint32_t pass = 1; pass <= 2 && !failed; ++pass) {
    env.pass = pass;
    rec.Offset = 0;
    rec.OpLength = 0;
    rec.BitsMode = kBits16;
    rec.Spare = 0;
    rec.ErrorFlag = 0;
    rec.FunctList = ctx.AddrFunct;
    if (pass == 1)
      pass1Start = rec;
    else
      inStep = options.reuseUnchangedLines && SameState(rec, pass1Start) && rec.Offset == 0;
    for (uint32_t n = 1; n < lines; ++n) {
      if (n - 1 >= kMaxLineRecords) {
        fail(n, "too many lines for the line records");
        failed = true;
        break;
      }
      uint32_t dirtied = 0;  // line buffer bytes to clear after the line
      bool encode = false;
      CleanedLine* kept = nullptr;
      if (pass == 1) {
        // A line is assembled whole or not at all: one that does not fit the
        // buffer, or whose NUL hides text before its line end, fails.
        const uint8_t* raw;
        uint32_t chars;
        const bool located = LocateLine(n, text, index, ctx.Ukuran, lines, &raw, &chars);
        if (located) {
          if (chars >= kLineBufferSize) {
            fail(n, "the line is longer than 1,023 characters");
            failed = true;
            break;
          }
          if (LocatedLineHidesText(n, text, index, ctx.Ukuran, lines, raw, chars)) {
            fail(n, "text after a NUL byte");
            failed = true;
            break;
          }
        }
        // The buffer is all zeros here; only the fetched bytes get dirty.
        const uint32_t len = located ? FetchLocatedLine(text, raw, chars, lineSpan) : kFail;
        kept = cleanedLines.Line(n - 1);
        if (kept == nullptr) {  // room was made for every line below the limit
          fail(n, "too many lines for the line records");
          failed = true;
          break;
        }
        if (len != kFail) {
          env.platform.UpperCase(lineSpan);
          const uint32_t cleaned = CleanLine(lineSpan, len);
          // What follows the cleaned line's end reads as zeros.
          const size_t end = strnlen(reinterpret_cast<char*>(buf), len);
          std::memset(buf + end, 0, len - end);
          dirtied = len;
          encode = cleaned != 0 && cleaned != kFail;
          kept->length = static_cast<uint16_t>(end);
          kept->dirtied = static_cast<uint16_t>(len | (encode ? CleanedLine::kEncode : 0));
          if (!cleanedLines.Append(buf, end)) {
            // The cleaned lines are never longer than the source: a line that
            // does not fit means the text changed under the run.
            fail(n, "the source changed while it was assembled");
            failed = true;
            break;
          }
        }
      } else {
        kept = cleanedLines.Line(n - 1);
        const uint8_t* chars = kept ? cleanedLines.Chars(cleanedOffset, kept->length) : nullptr;
        if (chars == nullptr) {  // pass 1 kept every line it passed
          fail(n, "the line was lost between the passes");
          failed = true;
          break;
        }
        cleanedOffset += kept->length;
        encode = (kept->dirtied & CleanedLine::kEncode) != 0;
        if (inStep && (!encode || kept->flags == 0)) {
          // A plain line in step with pass 1: its bytes and record stand.
          if (kept->bytes > 0 && !sawBytes) {
            sawBytes = true;
            report.entryBits = rec.BitsMode == kBits32 ? 32 : 16;
          }
          rec.Offset += kept->bytes;
          continue;
        }
        std::memcpy(buf, chars, kept->length);
        dirtied = kept->dirtied & ~CleanedLine::kEncode;
      }
      if (encode) {
        // Each line starts with an empty byte buffer, so that nothing of the
        // previous line's bytes can reach it.
        std::memset(rec.OpCode, 0, sizeof rec.OpCode);
        const InstructionRecord before = rec;
        const uint32_t lookups = env.labelLookups;
        EncodeLine(env, &ctx, &rec, buf);
        const uint8_t flags =
            static_cast<uint8_t>((env.labelLookups != lookups ? CleanedLine::kLookedUp : 0) |
                                 (SameState(before, rec) ? 0 : CleanedLine::kChangedState));
        if (pass == 1) {
          kept->flags = flags;
          if (flags & CleanedLine::kChangedState)
            changedStates.push_back({rec.Offset + rec.OpLength, rec});
        } else if (kept->flags & CleanedLine::kChangedState) {
          // Pass 1 recorded where it stood after this line: in step again
          // when pass 2 stands at the same place.
          const StateAfter* after =
              nextChanged < changedStates.size() ? &changedStates[nextChanged++] : nullptr;
          inStep = after != nullptr && rec.Offset + rec.OpLength == after->offset &&
                   SameState(rec, after->state);
        } else if (inStep) {
          // Pass 1 left the state as it was and went on by its byte count.
          inStep = rec.OpLength == kept->bytes && SameState(before, rec);
        }
      }
      if (pass == 1 && rec.OpLength <= sizeof(rec.OpCode))
        kept->bytes = static_cast<uint8_t>(rec.OpLength);
      if (pass == 2 && rec.OpLength > 0 && !sawBytes) {
        sawBytes = true;
        report.entryBits = rec.BitsMode == kBits32 ? 32 : 16;
      }

      if (rec.OpLength > sizeof(rec.OpCode) || rec.OpLength > output.size() ||
          rec.Offset > output.size() - rec.OpLength) {
        fail(n, "the output does not fit its 2,000,000-byte region");
        failed = true;
        break;
      }
      std::memcpy(output.data() + rec.Offset, rec.OpCode, rec.OpLength);
      outputEnd = std::max(outputEnd, rec.Offset + rec.OpLength);
      PutRecord(records, n - 1, rec.OpLength, rec.Offset + rec.Origin);
      rec.Offset += rec.OpLength;
      rec.OpLength = 0;
      if (rec.ErrorFlag == kFail) {
        fail(n, {});
        failed = true;
        break;
      }
      if (dirtied != 0) std::memset(buf, 0, dirtied);
    }
    if (!failed && lines >= 1 && lines - 1 < kMaxLineRecords) {
      // The record after the last line: a label on the last line has the
      // final address.
      PutRecord(records, lines - 1, 0, rec.Offset + rec.Origin);
    }
    endPhase(pass == 1 ? AsmPhase::Pass1 : AsmPhase::Pass2);
  }

  // What a load must clear again before the next source is shown.
  uint32_t* dirty = ws.load().dirty;
  dirty[static_cast<int>(Area::Output)] = std::max(dirty[static_cast<int>(Area::Output)], outputEnd);
  const uint32_t recordsEnd = 8 * std::min(lines, kMaxLineRecords);
  dirty[static_cast<int>(Area::LineRecords)] =
      std::max(dirty[static_cast<int>(Area::LineRecords)], recordsEnd);

  if (!failed) {
    // Instruction lines without bytes, from the final byte counts and the
    // cleaned lines.
    size_t offset = 0;
    std::memset(buf, 0, sizeof buf);
    for (uint32_t k = 0; k < lineSlots; ++k) {
      const CleanedLine* kept = cleanedLines.Line(k);
      const uint8_t* chars = kept ? cleanedLines.Chars(offset, kept->length) : nullptr;
      if (chars == nullptr) break;
      offset += kept->length;
      if ((kept->dirtied & CleanedLine::kEncode) == 0 || 8 * uint64_t(k) + 4 > records.size())
        continue;
      const uint8_t* count = records.data() + 8 * k;
      if ((count[0] | count[1] | count[2] | count[3]) != 0) continue;
      std::memcpy(buf, chars, kept->length);
      if (IsInstructionLine(buf)) report.silentLines.push_back(k + 1);
      std::memset(buf, 0, kept->length);
    }
    endPhase(AsmPhase::Checks);

    // Addresses become offsets in the output.
    const uint32_t last = std::min<uint64_t>({lines, kMaxLineRecords, records.size() / 8});
    for (uint32_t k = 0; k < last; ++k) {
      uint8_t* p = records.data() + 8 * k + 4;
      const uint32_t a = (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                          uint32_t(p[3]) << 24) - rec.Origin;
      for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(a >> (8 * i));
    }
    report.bytes = rec.Offset;
    report.origin = rec.Origin;
    char source[Workspace::kPathBufferSize];
    ws.ReadCString(ctx.lpSourceCodeFileName, source);
    std::string name = options.outputPath ? std::string(options.outputPath) : OutputNameFor(source);
    report.outputPath = name;
    ctx.state2 = Compiled;
    if (options.writeFile) {
      if (name.empty()) {
        report.error = "the output name does not fit its buffer";
        ctx.state2 = WriteFailed;
      } else if (env.platform.SameFile(name.c_str(), source)) {
        // However it is spelt, the output must not be the source itself.
        report.error = "the output would overwrite the source";
        ctx.state2 = WriteFailed;
      } else {
        if (env.platform.FileExists(name.c_str())) env.platform.DeleteFile(name.c_str());
        bool ok = false;
        uint32_t written = env.platform.WriteWholeFile(
            name.c_str(), std::span<const uint8_t>(output.data(), rec.Offset), ok);
        if (!ok || written != rec.Offset) {
          report.error = "the output file could not be written";
          ctx.state2 = WriteFailed;
        }
      }
    }
  }
  endPhase(AsmPhase::Write);
  *record = ctx;
  return report;
}

}  // namespace quorix
