// Loading the two texts (the opcode reference table and the source) into the
// workspace, each with its LineIndex and line count.
#pragma once

#include <cstdint>
#include <span>

#include "model/context_record.h"
#include "model/workspace.h"
#include "platform/services.h"

namespace quorix {

inline constexpr uint32_t kReadLimit = 1'000'000;

// Points the record's region fields at the workspace regions.
void SetRegionAddresses(ContextRecord* record);

// Sets the region addresses of the record, reads the opcode file (creating
// an empty one when it is missing) and the source file (never created),
// builds both indexes, clears the output and line records of the previous
// source, records the source's outcome in ws.load().source and sets state2
// to Idle. pathTooLong: the source path was cut to fit its buffer, so it is
// not read at all. Ukuran ends as the source text's size.
void LoadWorkspace(ContextRecord* record, Workspace& ws, Services& platform,
                   bool pathTooLong = false);

// Reads one file into a text area and builds its index. A text that does not
// fit the area, or has more line ends than the index holds, is cut after its
// last whole line (Cut; a text that is one single line is cut at the area's
// end). A file that could not be read completely leaves
// the empty text. The rest of the area is cleared, so no tail of an earlier,
// longer text survives.
// identity, when given, receives the identity of the file read (none when
// nothing was opened).
TextStatus LoadText(Workspace& ws, Services& platform, const char* path, Area text, Area index,
                    uint32_t* size, uint32_t* lineCount, ReadMode mode = ReadMode::Existing,
                    FileIdentity* identity = nullptr);

// Puts a text held in memory into a text area as LoadText does with a
// file's bytes: Loaded, or Cut when it does not fit.
TextStatus PlaceText(Workspace& ws, std::span<const uint8_t> bytes, Area text, Area index,
                     uint32_t* size, uint32_t* lineCount);

// Indexes the n bytes that stand in a text area; `more`: the text went on
// beyond them, so only its whole lines are kept (Cut).
TextStatus IndexText(Workspace& ws, Area text, Area index, uint32_t n, bool more, TextStatus status,
                     uint32_t* size, uint32_t* lineCount);

// Clears what the last assembly run wrote to the output and line records.
void ClearResults(Workspace& ws);

}  // namespace quorix
