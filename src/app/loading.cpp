#include "app/loading.h"

#include <algorithm>
#include <cstring>

#include "text/lines.h"

namespace quorix {

namespace {

TextStatus StatusOfRead(ReadStatus s) {
  switch (s) {
    case ReadStatus::Ok: return TextStatus::Loaded;
    case ReadStatus::Missing: return TextStatus::Missing;
    case ReadStatus::NotRegular: return TextStatus::NotRegular;
    case ReadStatus::Denied: return TextStatus::Denied;
    case ReadStatus::Failed: break;
  }
  return TextStatus::Failed;
}

// UTF-16 text: a byte-order mark (FF FE or FE FF), or, among the first
// pairs of bytes, at least half with a NUL on one side and not the other
// (ASCII written as UTF-16). A text in the dialect's single-byte code never
// holds NUL bytes between its characters.
bool IsUtf16(std::span<const uint8_t> t) {
  if (t.size() >= 2 && ((t[0] == 0xFF && t[1] == 0xFE) || (t[0] == 0xFE && t[1] == 0xFF)))
    return true;
  const size_t pairs = std::min<size_t>(t.size(), 512) / 2;
  size_t low = 0, high = 0;  // NUL second (little-endian) / NUL first (big-endian)
  for (size_t i = 0; i < pairs; ++i) {
    const uint8_t a = t[2 * i], b = t[2 * i + 1];
    low += a != 0 && b == 0;
    high += a == 0 && b != 0;
  }
  return pairs >= 2 && (2 * low >= pairs || 2 * high >= pairs);
}

// The source area's text before it is indexed: a UTF-8 byte-order mark at
// the start is left out (the text moves up, so line 1 begins with its first
// character), and UTF-16 text is refused (the text is emptied). Returns the
// new size.
uint32_t CheckSourceEncoding(Workspace& ws, std::span<uint8_t> text, uint32_t n,
                             TextStatus* status) {
  Workspace::LoadInfo& info = ws.load();
  info.sourceByteOrderMark = false;
  if (*status != TextStatus::Loaded) return n;
  if (IsUtf16(text.first(n))) {
    *status = TextStatus::Utf16;
    return 0;
  }
  if (n >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF) {
    std::memmove(text.data(), text.data() + 3, n - 3);
    std::memset(text.data() + n - 3, 0, 3);
    info.sourceByteOrderMark = true;
    return n - 3;
  }
  return n;
}

}  // namespace

TextStatus LoadText(Workspace& ws, Services& platform, const char* path, Area textArea,
                    Area indexArea, uint32_t* size, uint32_t* lineCount, ReadMode mode,
                    FileIdentity* identity) {
  std::span<uint8_t> text = ws.Bytes(textArea);
  uint32_t& dirty = ws.load().dirty[static_cast<int>(textArea)];
  // Keep at least one zero byte behind the text so its last line always ends.
  const uint32_t limit = std::min<uint32_t>(kReadLimit, text.size() - 1);
  FileReadResult r = platform.ReadWholeFile(path, text, limit, mode);
  if (identity != nullptr) *identity = r.opened ? r.identity : FileIdentity{};
  dirty = std::max(dirty, std::min(r.bytesRead, limit));  // also a failed read's bytes
  const TextStatus status = StatusOfRead(r.status);
  const uint32_t n = status == TextStatus::Loaded ? std::min(r.bytesRead, limit) : 0;
  return IndexText(ws, textArea, indexArea, n, status == TextStatus::Loaded && r.fileSize > n,
                   status, size, lineCount);
}

TextStatus PlaceText(Workspace& ws, std::span<const uint8_t> bytes, Area textArea, Area indexArea,
                     uint32_t* size, uint32_t* lineCount) {
  std::span<uint8_t> text = ws.Bytes(textArea);
  uint32_t& dirty = ws.load().dirty[static_cast<int>(textArea)];
  const uint32_t limit = std::min<uint32_t>(kReadLimit, text.size() - 1);
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(bytes.size(), limit));
  std::copy_n(bytes.begin(), n, text.begin());
  dirty = std::max(dirty, n);
  return IndexText(ws, textArea, indexArea, n, bytes.size() > n, TextStatus::Loaded, size,
                   lineCount);
}

TextStatus IndexText(Workspace& ws, Area textArea, Area indexArea, uint32_t n, bool more,
                     TextStatus status, uint32_t* size, uint32_t* lineCount) {
  std::span<uint8_t> text = ws.Bytes(textArea);
  std::span<uint8_t> index = ws.Bytes(indexArea);
  uint32_t& dirty = ws.load().dirty[static_cast<int>(textArea)];
  if (textArea == Area::SourceText) n = CheckSourceEncoding(ws, text, n, &status);
  if (status == TextStatus::Utf16) more = false;
  if (more) {
    // More than fits: keep the whole lines only, never part of one (a
    // single line longer than the area is kept as far as it fits, to be
    // shown; a cut source is never compiled).
    uint32_t whole = n;
    while (whole > 0 && text[whole - 1] != kLF && text[whole - 1] != kCR) --whole;
    if (whole > 0) n = whole;
    status = TextStatus::Cut;
  }
  // Clear what this read or an earlier, longer text left behind the text.
  ws.ClearWritten(textArea, n);
  dirty = n;

  // At most (entries - 1) line ends fit the index; cut before the first
  // one that does not. A text whose index is not full has all its line ends
  // in it, and its line count follows from the index alone.
  const uint32_t maxEnds = index.size() / 4 - 1;
  const uint32_t entries = BuildLineIndex(text, index, n);
  if (entries < maxEnds + 1) {
    *size = n;
    *lineCount = entries + 1;
    return status;
  }
  uint32_t ends = 0;
  for (uint32_t i = FirstLineEnd(text, 0, n); i < n; i = FirstLineEnd(text, i + 1, n)) {
    if (++ends > maxEnds) {
      const uint32_t cut = (text[i] == kLF && i > 0 && text[i - 1] == kCR) ? i - 1 : i;
      std::memset(text.data() + cut, 0, n - cut);
      n = cut;
      dirty = n;
      status = TextStatus::Cut;
      break;
    }
  }
  *size = n;
  *lineCount = CountLines(text, n);
  BuildLineIndex(text, index, n);
  return status;
}

void ClearResults(Workspace& ws) {
  ws.ClearWritten(Area::Output);
  ws.ClearWritten(Area::LineRecords);
}

void SetRegionAddresses(ContextRecord* record) {
  ContextRecord& r = *record;
  r.lpMemForCompiler = Workspace::Address(Area::OpcodeText);
  r.lpIndComp = Workspace::Address(Area::OpcodeIndex);
  r.lpMemForSource = Workspace::Address(Area::SourceText);
  r.IndSource = Workspace::Address(Area::SourceIndex);
  r.lpMemHexResult = Workspace::Address(Area::Output);
  r.lpASCIIResult = Workspace::Address(Area::LineRecords);
  r.AddrFunct = Workspace::Address(Area::Symbols);
}

void LoadWorkspace(ContextRecord* record, Workspace& ws, Services& platform, bool pathTooLong) {
  ContextRecord r = *record;
  SetRegionAddresses(&r);
  Workspace::LoadInfo& info = ws.load();

  // The workbench keeps its opcode file: a missing one is created empty.
  char path[Workspace::kPathBufferSize];
  ws.ReadCString(r.lpSourceForCompilerFileName, path);
  const TextStatus opcode = LoadText(ws, platform, path, Area::OpcodeText, Area::OpcodeIndex,
                                     &r.Ukuran, &r.LineCountsForCompiler, ReadMode::CreateMissing);
  info.opcodeCut = opcode == TextStatus::Cut;

  // The source is only ever read. Whatever its outcome, the line records
  // and the output of the previous source go.
  ClearResults(ws);
  ws.ReadCString(r.lpSourceCodeFileName, path);
  uint32_t sourceSize = 0;
  info.sourceIdentity = {};
  if (pathTooLong) {
    info.source = TextStatus::PathTooLong;
    // The empty path names no file: this only leaves the empty text.
    LoadText(ws, platform, "", Area::SourceText, Area::SourceIndex, &sourceSize,
             &r.LineCountsForFile, ReadMode::Existing);
  } else {
    info.source = LoadText(ws, platform, path, Area::SourceText, Area::SourceIndex, &sourceSize,
                           &r.LineCountsForFile, ReadMode::Existing, &info.sourceIdentity);
  }
  // Ukuran is the limit every reader of the source fetches with, so it ends
  // as the source's size, also when the opcode text was read last.
  r.Ukuran = sourceSize;
  info.sourceCut = info.source == TextStatus::Cut;
  info.generation++;
  r.state2 = Idle;
  *record = r;
}

}  // namespace quorix
