#include "asm/env.h"

namespace quorix {

AsmRegions WorkspaceRegions(Workspace& ws, uint32_t sourceSize, uint32_t lineCount) {
  AsmRegions r;
  r.source = {ws.Bytes(Area::SourceText), ws.Bytes(Area::SourceIndex), sourceSize, lineCount};
  r.records = LineRecords(ws.Bytes(Area::LineRecords));
  r.output = ws.Bytes(Area::Output);
  r.symbolTable = Workspace::Address(Area::Symbols);
  return r;
}

}  // namespace quorix
