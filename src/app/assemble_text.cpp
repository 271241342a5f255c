#include "app/assemble_text.h"

#include <algorithm>

#include "app/loading.h"
#include "text/lines.h"

namespace quorix {

TextAssembler::TextAssembler(Services& services)
    : services_(services),
      ws_(std::make_unique<Workspace>(services)),
      env_{*ws_, services, symbols_, WorkspaceRegions(*ws_, 0, 0)} {}

void TextAssembler::Loaded(uint32_t size, uint32_t lineCount) {
  // A new text: the symbol index is built again.
  ws_->load().generation++;
  env_.regions = WorkspaceRegions(*ws_, size, lineCount);
}

TextStatus TextAssembler::Load(std::span<const uint8_t> text) {
  uint32_t size = 0, lines = 0;
  const TextStatus status =
      PlaceText(*ws_, text, Area::SourceText, Area::SourceIndex, &size, &lines);
  ws_->load().source = status;
  ws_->load().sourceIdentity = {};  // no file was read
  Loaded(size, lines);
  return status;
}

TextStatus TextAssembler::LoadFile(const char* path) {
  uint32_t size = 0, lines = 0;
  const TextStatus status =
      LoadText(*ws_, services_, path, Area::SourceText, Area::SourceIndex, &size, &lines,
               ReadMode::Existing, &ws_->load().sourceIdentity);
  ws_->load().source = status;
  Loaded(size, lines);
  return status;
}

Assembly TextAssembler::Assemble(const AssembleOptions& options) {
  Assembly a;
  a.report = AssembleSource(env_, options);
  if (a.report.ok) {
    std::span<const uint8_t> out = env_.regions.output.first(a.report.bytes);
    a.bytes.assign(out.begin(), out.end());
  }
  const size_t n = std::min<size_t>(source().lineCount, env_.regions.records.size());
  std::span<const LineRecord> records = env_.regions.records.all().first(n);
  a.records.assign(records.begin(), records.end());
  return a;
}

std::string TextAssembler::LineText(uint32_t n, size_t limit, bool cleaned) {
  return SourceLine(source(), n, limit, cleaned);
}

std::string SourceLine(const SourceText& source, uint32_t n, size_t limit, bool cleaned) {
  uint8_t buf[kLineBufferSize + 8] = {};
  std::span<uint8_t> line(buf, std::min<size_t>(limit, kLineBufferSize));
  const uint32_t len = FetchLine(source, n, line);
  if (len == kFail) return {};
  if (cleaned && CleanLine(line, len) == 0) return {};
  return reinterpret_cast<char*>(buf);
}

namespace {

std::string TrimBlanks(const std::string& s) {
  const size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  const size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

}  // namespace

std::string ErrorMessage(const SourceText& source, const AssembleReport& report) {
  if (report.errorLine == 0) return report.error;
  std::string text = SourceLine(source, report.errorLine, 256, false);
  if (const size_t semi = text.find(';'); semi != std::string::npos) text.resize(semi);
  std::string m = "Error at Line: " + std::to_string(report.errorLine) + ": " + TrimBlanks(text);
  if (!report.error.empty()) m += " (" + report.error + ")";
  return m;
}

std::vector<std::string> WarningMessages(const SourceText& source, const AssembleReport& report,
                                         size_t limit) {
  std::vector<std::string> out;
  for (const AsmWarning& w : report.warnings) {
    if (out.size() >= limit) break;
    const bool noBytes =
        w.kind == AsmWarningKind::NoBytes || w.kind == AsmWarningKind::UnknownMnemonic;
    // The cleaned text keeps its trailing blanks, as it always showed.
    const std::string text = noBytes ? SourceLine(source, w.line, 256, true)
                                     : TrimBlanks(SourceLine(source, w.line, 256, false));
    out.push_back("line " + std::to_string(w.line) + " " + WarningText(w.kind) + ": " + text);
  }
  return out;
}

Assembly AssembleText(std::string_view text, Services& services, const AssembleOptions& options) {
  TextAssembler assembler(services);
  const TextStatus status = assembler.Load(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  if (status != TextStatus::Loaded) {
    Assembly a;
    a.report.error = status == TextStatus::Cut
                         ? "the source does not fit: at most 1,000,000 bytes and 499,999 lines"
                         : DescribeTextStatus(status);
    return a;
  }
  return assembler.Assemble(options);
}

}  // namespace quorix
