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

namespace {

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

// Pass 1's copies live in one block that the services give (in large pages
// where it can: the copies of a big source would otherwise cost a page fault
// every few kilobytes), sized up front: one entry per line, and the cleaned
// characters of all lines, which never outnumber the source's bytes.
class CleanedLines {
 public:
  CleanedLines(Services& services, size_t lines, size_t chars)
      : services_(services), lineCap_(lines), textCap_(chars) {
    const size_t size = lines * sizeof(CleanedLine) + chars;
    block_ = size ? static_cast<uint8_t*>(services.AllocateZeroedBlock(size)) : nullptr;
    if (block_ == nullptr) {
      fallback_.assign(size, 0);
      base_ = fallback_.data();
    } else {
      base_ = block_;
    }
  }
  ~CleanedLines() {
    if (block_) services_.ReleaseBlock(block_);
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
  Services& services_;
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

// One assembly run: the line copies of pass 1, the encoder's record, and
// what tells pass 2 whether it is in step with pass 1.
class AssemblyRun {
 public:
  AssemblyRun(AsmEnv& env, const AssembleOptions& options, AssembleReport& report)
      : env_(env),
        options_(options),
        report_(report),
        source_(env.regions.source),
        lines_(source_.lineCount),
        lineSlots_(lines_ > 1 ? std::min(lines_ - 1, kMaxLineRecords) : 0),
        cleaned_(env.services, lineSlots_, std::min<size_t>(source_.size, source_.bytes.size())) {}

  // Runs pass 1 or 2 over every line; false when a line failed (the report
  // says which and why).
  bool Pass(uint32_t pass);
  // What a load must clear again before the next source is shown.
  void NoteWrittenAreas();
  // After both passes: the lines without bytes, the addresses made relative
  // to the output, and the totals.
  void Finish();

 private:
  bool Fail(uint32_t line, std::string why) {
    report_.errorLine = line;
    report_.error = std::move(why);
    return false;
  }
  void StartPass(uint32_t pass);
  bool RunLine(uint32_t pass, uint32_t n);
  // Pass 1: fetches, upper-cases and cleans line n into the buffer and keeps
  // a copy of it.
  bool PrepareFirstPass(uint32_t n, CleanedLine** kept, bool* encode, uint32_t* dirtied);
  // Pass 2: copies pass 1's copy back into the buffer; *reused when the line
  // keeps what pass 1 wrote and needs nothing more.
  bool PrepareSecondPass(uint32_t n, CleanedLine** kept, bool* encode, uint32_t* dirtied,
                         bool* reused);
  void Encode(uint32_t pass, CleanedLine* kept);
  // Appends the line's bytes to the output and writes its record.
  bool Store(uint32_t n);
  // The warnings about quotes, read from the lines as written, and the
  // byte-order mark the load skipped; then all warnings in line order.
  void NoteQuotes();
  void NoteEntry() {
    if (sawBytes_) return;
    sawBytes_ = true;
    report_.entryBits = rec_.BitsMode == kBits32 ? 32 : 16;
  }

  AsmEnv& env_;
  const AssembleOptions& options_;
  AssembleReport& report_;
  const SourceText& source_;
  const uint32_t lines_;      // lines 1 .. lines_-1
  const uint32_t lineSlots_;  // lines with a record and a copy
  CleanedLines cleaned_;
  InstructionRecord rec_{};
  // The line buffer keeps a zeroed guard behind its 1,024 bytes: a character
  // literal reads four bytes past the end of the line.
  uint8_t buf_[kLineBufferSize + 8] = {};
  bool sawBytes_ = false;
  uint32_t outputEnd_ = 0;    // how far this run wrote into the output region
  size_t cleanedOffset_ = 0;  // where pass 2 reads the next line's characters
  // In step: pass 2 starts the next line at the offset and in the state in
  // which pass 1 started it. Pass 2 does not begin in step, since the origin
  // and the "@@" address carry over from pass 1's end (lines above an [ORG]
  // get other addresses); it gets in step at the first line after which both
  // passes agree, typically the [ORG] line itself.
  bool inStep_ = false;
  InstructionRecord pass1Start_{};
  std::vector<StateAfter> changedStates_;  // pass 1's, for each line that changed the state
  size_t nextChanged_ = 0;                 // pass 2's place in changedStates_
};

void AssemblyRun::StartPass(uint32_t pass) {
  env_.pass = pass;
  rec_.Offset = 0;
  rec_.OpLength = 0;
  rec_.BitsMode = kBits16;
  rec_.Spare = 0;
  rec_.ErrorFlag = 0;
  rec_.FunctList = env_.regions.symbolTable;
  if (pass == 1)
    pass1Start_ = rec_;
  else
    inStep_ = options_.reuseUnchangedLines && SameState(rec_, pass1Start_) && rec_.Offset == 0;
}

bool AssemblyRun::Pass(uint32_t pass) {
  StartPass(pass);
  for (uint32_t n = 1; n < lines_; ++n) {
    if (!RunLine(pass, n)) return false;
  }
  if (lines_ >= 1 && lines_ - 1 < kMaxLineRecords) {
    // The record after the last line: a label on the last line has the
    // final address.
    env_.regions.records.Set(lines_ - 1, {0, rec_.Offset + rec_.Origin});
  }
  return true;
}

bool AssemblyRun::RunLine(uint32_t pass, uint32_t n) {
  if (n - 1 >= kMaxLineRecords) return Fail(n, "too many lines for the line records");
  uint32_t dirtied = 0;  // line buffer bytes to clear after the line
  bool encode = false;
  CleanedLine* kept = nullptr;
  if (pass == 1) {
    if (!PrepareFirstPass(n, &kept, &encode, &dirtied)) return false;
  } else {
    bool reused = false;
    if (!PrepareSecondPass(n, &kept, &encode, &dirtied, &reused)) return false;
    if (reused) return true;
  }
  if (encode) Encode(pass, kept);
  if (pass == 1 && rec_.OpLength <= sizeof(rec_.OpCode))
    kept->bytes = static_cast<uint8_t>(rec_.OpLength);
  if (pass == 2 && rec_.OpLength > 0) NoteEntry();
  if (!Store(n)) return false;
  if (dirtied != 0) std::memset(buf_, 0, dirtied);
  return true;
}

bool AssemblyRun::PrepareFirstPass(uint32_t n, CleanedLine** keptOut, bool* encode,
                                   uint32_t* dirtied) {
  std::span<uint8_t> lineSpan(buf_, kLineBufferSize);
  // A line is assembled whole or not at all: one that does not fit the
  // buffer, or whose NUL hides text before its line end, fails.
  const uint8_t* raw;
  uint32_t chars;
  const bool located = LocateLine(source_, n, &raw, &chars);
  if (located) {
    if (chars >= kLineBufferSize) return Fail(n, "the line is longer than 1,023 characters");
    if (LocatedLineHidesText(source_, n, raw, chars)) return Fail(n, "text after a NUL byte");
  }
  // The buffer is all zeros here; only the fetched bytes get dirty.
  const uint32_t len = located ? FetchLocatedLine(source_.bytes, raw, chars, lineSpan) : kFail;
  CleanedLine* kept = cleaned_.Line(n - 1);
  // Room was made for every line below the limit.
  if (kept == nullptr) return Fail(n, "too many lines for the line records");
  *keptOut = kept;
  if (len == kFail) return true;
  env_.services.UpperCase(lineSpan);
  const uint32_t cleanedLength = CleanLine(lineSpan, len);
  // What follows the cleaned line's end reads as zeros.
  const size_t end = strnlen(reinterpret_cast<char*>(buf_), len);
  std::memset(buf_ + end, 0, len - end);
  *dirtied = len;
  *encode = cleanedLength != 0 && cleanedLength != kFail;
  kept->length = static_cast<uint16_t>(end);
  kept->dirtied = static_cast<uint16_t>(len | (*encode ? CleanedLine::kEncode : 0));
  // The cleaned lines are never longer than the source: a line that does
  // not fit means the text changed under the run.
  if (!cleaned_.Append(buf_, end)) return Fail(n, "the source changed while it was assembled");
  return true;
}

bool AssemblyRun::PrepareSecondPass(uint32_t n, CleanedLine** keptOut, bool* encode,
                                    uint32_t* dirtied, bool* reused) {
  CleanedLine* kept = cleaned_.Line(n - 1);
  const uint8_t* chars = kept ? cleaned_.Chars(cleanedOffset_, kept->length) : nullptr;
  // Pass 1 kept every line it passed.
  if (chars == nullptr) return Fail(n, "the line was lost between the passes");
  *keptOut = kept;
  cleanedOffset_ += kept->length;
  *encode = (kept->dirtied & CleanedLine::kEncode) != 0;
  if (inStep_ && (!*encode || kept->flags == 0)) {
    // A plain line in step with pass 1: its bytes and record stand.
    if (kept->bytes > 0) NoteEntry();
    rec_.Offset += kept->bytes;
    *reused = true;
    return true;
  }
  std::memcpy(buf_, chars, kept->length);
  *dirtied = kept->dirtied & ~CleanedLine::kEncode;
  return true;
}

void AssemblyRun::Encode(uint32_t pass, CleanedLine* kept) {
  // Each line starts with an empty byte buffer, so that nothing of the
  // previous line's bytes can reach it.
  std::memset(rec_.OpCode, 0, sizeof rec_.OpCode);
  const InstructionRecord before = rec_;
  const uint32_t lookups = env_.labelLookups;
  env_.reason = nullptr;
  EncodeLine(env_, &rec_, buf_);
  const uint8_t flags =
      static_cast<uint8_t>((env_.labelLookups != lookups ? CleanedLine::kLookedUp : 0) |
                           (SameState(before, rec_) ? 0 : CleanedLine::kChangedState));
  if (pass == 1) {
    kept->flags = flags;
    if (flags & CleanedLine::kChangedState)
      changedStates_.push_back({rec_.Offset + rec_.OpLength, rec_});
  } else if (kept->flags & CleanedLine::kChangedState) {
    // Pass 1 recorded where it stood after this line: in step again when
    // pass 2 stands at the same place.
    const StateAfter* after =
        nextChanged_ < changedStates_.size() ? &changedStates_[nextChanged_++] : nullptr;
    inStep_ = after != nullptr && rec_.Offset + rec_.OpLength == after->offset &&
              SameState(rec_, after->state);
  } else if (inStep_) {
    // Pass 1 left the state as it was and went on by its byte count.
    inStep_ = rec_.OpLength == kept->bytes && SameState(before, rec_);
  }
}

bool AssemblyRun::Store(uint32_t n) {
  std::span<uint8_t> output = env_.regions.output;
  if (rec_.OpLength > sizeof(rec_.OpCode) || rec_.OpLength > output.size() ||
      rec_.Offset > output.size() - rec_.OpLength) {
    return Fail(n, "the output does not fit its 2,000,000-byte region");
  }
  std::memcpy(output.data() + rec_.Offset, rec_.OpCode, rec_.OpLength);
  outputEnd_ = std::max(outputEnd_, rec_.Offset + rec_.OpLength);
  env_.regions.records.Set(n - 1, {rec_.OpLength, rec_.Offset + rec_.Origin});
  rec_.Offset += rec_.OpLength;
  rec_.OpLength = 0;
  if (rec_.ErrorFlag == kFail) {
    // A refusal that named no reason gets one from what the line shows.
    return Fail(n, env_.reason != nullptr ? std::string(env_.reason)
                                          : ExplainRefusal(env_, n, rec_.BitsMode));
  }
  return true;
}

void AssemblyRun::NoteWrittenAreas() {
  uint32_t* dirty = env_.ws.load().dirty;
  uint32_t& output = dirty[static_cast<int>(Area::Output)];
  output = std::max(output, outputEnd_);
  uint32_t& records = dirty[static_cast<int>(Area::LineRecords)];
  records = std::max(records, 8 * std::min(lines_, kMaxLineRecords));
}

void AssemblyRun::Finish() {
  // Instruction lines without bytes, from the final byte counts and the
  // cleaned lines.
  const LineRecords& records = env_.regions.records;
  size_t offset = 0;
  std::memset(buf_, 0, sizeof buf_);
  for (uint32_t k = 0; k < lineSlots_; ++k) {
    const CleanedLine* kept = cleaned_.Line(k);
    const uint8_t* chars = kept ? cleaned_.Chars(offset, kept->length) : nullptr;
    if (chars == nullptr) break;
    offset += kept->length;
    if ((kept->dirtied & CleanedLine::kEncode) == 0 || k >= records.size()) continue;
    std::memcpy(buf_, chars, kept->length);
    if (records.Get(k).ByteCount != 0) {
      if (IsInstructionLine(buf_) && HasTextAfterOperand(buf_))
        report_.warnings.push_back({k + 1, AsmWarningKind::TextAfterOperand});
    } else if (IsInstructionLine(buf_)) {
      report_.silentLines.push_back(k + 1);
      const bool known = IsKnownMnemonic(FirstWord(buf_));
      report_.warnings.push_back(
          {k + 1, known ? AsmWarningKind::NoBytes : AsmWarningKind::UnknownMnemonic});
    }
    std::memset(buf_, 0, kept->length);
  }
  NoteQuotes();
  // Addresses become offsets in the output.
  const size_t last = std::min<size_t>({lines_, kMaxLineRecords, records.size()});
  for (size_t k = 0; k < last; ++k) records.all()[k].Address -= rec_.Origin;
  report_.bytes = rec_.Offset;
  report_.origin = rec_.Origin;
}

void AssemblyRun::NoteQuotes() {
  std::vector<AsmWarning>& w = report_.warnings;
  if (env_.ws.load().sourceByteOrderMark && lines_ > 1)
    w.push_back({1, AsmWarningKind::ByteOrderMark});
  for (uint32_t n = 1; n <= lineSlots_; ++n) {
    const uint8_t* start = nullptr;
    uint32_t chars = 0;
    if (!LocateLine(source_, n, &start, &chars)) continue;
    const QuoteNotes notes = InspectQuotes({start, chars}, env_.services);
    if (notes.lowerCase) w.push_back({n, AsmWarningKind::LowerCaseInQuotes});
    if (notes.semicolon) w.push_back({n, AsmWarningKind::SemicolonInQuotes});
  }
  std::stable_sort(w.begin(), w.end(), [](const AsmWarning& a, const AsmWarning& b) {
    return a.line != b.line ? a.line < b.line : a.kind < b.kind;
  });
}

// Reads the clock at the start and after each phase.
class PhaseClock {
 public:
  PhaseClock(uint64_t (*clock)(), AssembleReport& report)
      : clock_(clock), report_(report), start_(clock ? clock() : 0) {}
  void End(AsmPhase phase) {
    if (!clock_) return;
    const uint64_t now = clock_();
    report_.phaseTime[static_cast<int>(phase)] += now - start_;
    start_ = now;
  }

 private:
  uint64_t (*clock_)();
  AssembleReport& report_;
  uint64_t start_;
};

}  // namespace

AssembleReport AssembleSource(AsmEnv& env, const AssembleOptions& options) {
  AssembleReport report;
  PhaseClock clock(options.clock, report);
  uint32_t overflowLine = 0;
  if (CollectSymbols(env, &overflowLine) == kFail) {
    report.errorLine = overflowLine;
    report.error = "too many label lines for the symbol table";
    clock.End(AsmPhase::Symbols);
    return report;
  }
  clock.End(AsmPhase::Symbols);

  // Pass 1 reads a forward label's address from line records not written yet
  // in this run: they must read as zero, as after a load, not as whatever an
  // earlier run of the same source left there (which would make the failing
  // line depend on how often the source was compiled).
  env.ws.ClearWritten(Area::LineRecords);

  AssemblyRun run(env, options, report);
  bool ok = run.Pass(1);
  clock.End(AsmPhase::Pass1);
  if (ok) {
    ok = run.Pass(2);
    clock.End(AsmPhase::Pass2);
  }
  run.NoteWrittenAreas();
  if (ok) {
    run.Finish();
    report.ok = true;
    clock.End(AsmPhase::Checks);
  }
  return report;
}

}  // namespace quorix
