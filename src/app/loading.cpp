#include "app/loading.h"

#include <algorithm>
#include <cstring>

#include "text/lines.h"

namespace quorix {

bool LoadText(Workspace& ws, Platform& platform, const char* path, Area textArea, Area indexArea,
              uint32_t* size, uint32_t* lineCount) {
  std::span<uint8_t> text = ws.Bytes(textArea);
  std::span<uint8_t> index = ws.Bytes(indexArea);
  // Keep at least one zero byte behind the text so its last line always ends.
  const uint32_t limit = std::min<uint32_t>(kReadLimit, text.size() - 1);
  FileReadResult r = platform.ReadWholeFile(path, text, limit);
  uint32_t n = r.bytesRead;
  bool cut = r.fileSize > n;

  // At most (entries - 1) line feeds fit the index; cut after the last one.
  const uint32_t maxLf = index.size() / 4 - 1;
  uint32_t lfs = 0;
  for (uint32_t i = 0; i < n; ++i) {
    if (text[i] == kLF && ++lfs > maxLf) {
      n = i;  // this LF would start an entry the index has no room for
      cut = true;
      break;
    }
  }
  // Clear what this read or an earlier, longer text left behind the text.
  uint32_t& dirty = ws.load().dirty[static_cast<int>(textArea)];
  const uint32_t end = std::max({dirty, r.bytesRead, n});
  std::memset(text.data() + n, 0, end - n);
  dirty = n;
  *size = n;
  *lineCount = CountLines(text, n);
  BuildLineIndex(text, index, n);
  return cut;
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

void LoadWorkspace(ContextRecord* record, Workspace& ws, Platform& platform) {
  ContextRecord r = *record;
  SetRegionAddresses(&r);

  char path[Workspace::kPathBufferSize];
  ws.ReadCString(r.lpSourceForCompilerFileName, path);
  ws.load().opcodeCut =
      LoadText(ws, platform, path, Area::OpcodeText, Area::OpcodeIndex, &r.Ukuran,
               &r.LineCountsForCompiler);

  ws.ReadCString(r.lpSourceCodeFileName, path);
  if (platform.FileExists(path)) {
    ws.load().sourceCut = LoadText(ws, platform, path, Area::SourceText, Area::SourceIndex,
                                   &r.Ukuran, &r.LineCountsForFile);
  }
  ws.load().generation++;
  r.state2 = Idle;
  *record = r;
}

}  // namespace quorix
