#include "model/record_views.h"

namespace quorix {

SourceText SourceOf(const ContextRecord& record, Workspace& ws) {
  return {ws.Tail(record.lpMemForSource), ws.Tail(record.IndSource), record.Ukuran,
          record.LineCountsForFile};
}

SourceText OpcodeTextOf(const ContextRecord& record, Workspace& ws) {
  std::span<uint8_t> bytes = ws.Tail(record.lpMemForCompiler);
  // The opcode text's size is not kept in the record: its readers stop at
  // the NUL that follows the text in its region.
  return {bytes, ws.Tail(record.lpIndComp), static_cast<uint32_t>(bytes.size()),
          record.LineCountsForCompiler};
}

LineRecords LineRecordsOf(const ContextRecord& record, Workspace& ws) {
  return LineRecords(ws.Tail(record.lpASCIIResult));
}

std::span<uint8_t> OutputOf(const ContextRecord& record, Workspace& ws) {
  return ws.Tail(record.lpMemHexResult);
}

std::string SourcePathOf(const ContextRecord& record, const Workspace& ws) {
  char path[Workspace::kPathBufferSize];
  if (!ws.ReadCString(record.lpSourceCodeFileName, path)) return {};
  return path;
}

}  // namespace quorix
