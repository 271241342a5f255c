// The typed views of what the ContextRecord's region fields point at. Only
// the workbench (app/) and the drawing code hold the record; they turn it
// into these views once and hand the views down.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "model/context_record.h"
#include "model/line_records.h"
#include "model/source_text.h"
#include "model/workspace.h"

namespace quorix {

// The source text with its index, size and line count.
SourceText SourceOf(const ContextRecord& record, Workspace& ws);
// The opcode reference table's text.
SourceText OpcodeTextOf(const ContextRecord& record, Workspace& ws);
// The line records of the latest assembly run.
LineRecords LineRecordsOf(const ContextRecord& record, Workspace& ws);
// The output region.
std::span<uint8_t> OutputOf(const ContextRecord& record, Workspace& ws);
// The source path held in the path buffer.
std::string SourcePathOf(const ContextRecord& record, const Workspace& ws);

}  // namespace quorix
