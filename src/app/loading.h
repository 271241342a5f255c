// Loading the two texts (the opcode reference table and the source) into the
// workspace, each with its LineIndex and line count.
#pragma once

#include <cstdint>

#include "model/context_record.h"
#include "model/workspace.h"
#include "platform/platform.h"

namespace quorix {

inline constexpr uint32_t kReadLimit = 1'000'000;

// Points the record's region fields at the workspace regions.
void SetRegionAddresses(ContextRecord* record);

// Sets the region addresses of the record, reads the opcode file and, when it
// exists, the source file, builds both indexes and sets state2 to Idle.
void LoadWorkspace(ContextRecord* record, Workspace& ws, Platform& platform);

// Reads one file into a text area and builds its index. A text that does not
// fit the area, or has more lines than the index holds, is cut at a line
// boundary (or at the area's end) and the rest of the area is cleared, so no
// tail of an earlier, longer text survives. Returns true when it cut.
bool LoadText(Workspace& ws, Platform& platform, const char* path, Area text, Area index,
              uint32_t* size, uint32_t* lineCount);

}  // namespace quorix
