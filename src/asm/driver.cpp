#include "asm/driver.h"

#include <algorithm>
#include <cstring>

#include "asm/encoder.h"
#include "asm/records.h"
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

}  // namespace

AssembleReport AssembleSource(ContextRecord* record, AsmEnv& env, const AssembleOptions& options) {
  AssembleReport report;
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
    return report;
  }

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

  for (uint32_t pass = 1; pass <= 2 && !failed; ++pass) {
    env.pass = pass;
    rec.Offset = 0;
    rec.OpLength = 0;
    rec.BitsMode = kBits16;
    rec.Spare = 0;
    rec.ErrorFlag = 0;
    rec.FunctList = ctx.AddrFunct;
    for (uint32_t n = 1; n < lines; ++n) {
      if (n - 1 >= kMaxLineRecords) {
        fail(n, "too many lines for the line records");
        failed = true;
        break;
      }
      // A line is assembled whole or not at all: one that does not fit the
      // buffer, or whose NUL hides text before its line end, fails.
      const uint8_t* raw;
      uint32_t chars;
      if (LocateLine(n, text, index, ctx.Ukuran, lines, &raw, &chars)) {
        if (chars >= kLineBufferSize) {
          fail(n, "the line is longer than 1,023 characters");
          failed = true;
          break;
        }
        if (LineHidesText(n, text, index, ctx.Ukuran, lines)) {
          fail(n, "text after a NUL byte");
          failed = true;
          break;
        }
      }
      // The buffer is all zeros here; only the fetched bytes get dirty.
      uint32_t len = FetchLine(n, text, index, lineSpan, ctx.Ukuran, lines);
      uint32_t cleaned = 0;
      if (len != kFail) {
        env.platform.UpperCase(lineSpan);
        cleaned = CleanLine(lineSpan, len);
        // What follows the cleaned line's end reads as zeros.
        size_t end = strnlen(reinterpret_cast<char*>(buf), len);
        std::memset(buf + end, 0, len - end);
      }
      if (cleaned != 0 && cleaned != kFail) EncodeLine(env, &ctx, &rec, buf);
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
      if (len != kFail) std::memset(buf, 0, len);
    }
    if (!failed && lines >= 1 && lines - 1 < kMaxLineRecords) {
      // The record after the last line: a label on the last line has the
      // final address.
      PutRecord(records, lines - 1, 0, rec.Offset + rec.Origin);
    }
  }

  // What a load must clear again before the next source is shown.
  uint32_t* dirty = ws.load().dirty;
  dirty[static_cast<int>(Area::Output)] = std::max(dirty[static_cast<int>(Area::Output)], outputEnd);
  const uint32_t recordsEnd = 8 * std::min(lines, kMaxLineRecords);
  dirty[static_cast<int>(Area::LineRecords)] =
      std::max(dirty[static_cast<int>(Area::LineRecords)], recordsEnd);

  if (!failed) {
    // Addresses become offsets in the output.
    const uint32_t last = std::min(lines, kMaxLineRecords);
    for (uint32_t k = 0; k < last; ++k) {
      uint32_t a;
      if (ws.Read32(ctx.lpASCIIResult + 8 * k + 4, a)) ws.Write32(ctx.lpASCIIResult + 8 * k + 4, a - rec.Origin);
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
  *record = ctx;
  return report;
}

}  // namespace quorix
