// The workbench's whole run state lives in one flat record of 29 unsigned
// 32-bit words. Every handler takes its address, works on a private copy and
// copies the copy back before it returns (copy-in/copy-out), so the global
// record only changes at the end of a step.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/common.h"

namespace quorix {

struct ContextRecord {
  uint32_t hWnd;
  uint32_t wHDC;
  uint32_t mDC;
  uint32_t hBmp;
  uint32_t PosX;
  uint32_t PosY;
  uint32_t Lbr;  // back-buffer width
  uint32_t Tng;  // back-buffer height
  uint32_t MouX;
  uint32_t MouY;
  uint32_t MouButt;
  uint32_t PosSFC;
  uint32_t PosSCL;
  uint32_t lpSourceCodeFileName;
  uint32_t lpSourceForCompilerFileName;
  uint32_t LineCountsForFile;
  uint32_t LineCountsForCompiler;
  uint32_t Ukuran;  // byte count of the last file read
  uint32_t gMemHnd;
  uint32_t lpASCIIResult;
  uint32_t lpMemHexResult;
  uint32_t lpMemForSource;
  uint32_t lpMemForCompiler;
  uint32_t IndSource;
  uint32_t lpIndComp;
  uint32_t AddrFunct;
  uint32_t state;
  uint32_t state2;
  uint32_t state3;
};
static_assert(sizeof(ContextRecord) == 116, "ContextRecord is 29 packed words");
static_assert(offsetof(ContextRecord, state3) == 112);

inline constexpr int kContextFieldCount = 29;

// Field i (0-based) of the record, in declaration order.
inline uint32_t ContextField(const ContextRecord& r, int i) {
  return reinterpret_cast<const uint32_t*>(&r)[i];
}

// Values of `state`.
inline constexpr uint32_t StateStart = 0;
inline constexpr uint32_t StateVariables = 1;
inline constexpr uint32_t StateLoad = 2;
inline constexpr uint32_t StateCompile = 3;
inline constexpr uint32_t StateDebug = 4;
inline constexpr uint32_t StateExit = 5;

// Values of `state2`.
inline constexpr uint32_t Idle = 0;
inline constexpr uint32_t CompileRequested = 1;
inline constexpr uint32_t CompileFailed = 2;
inline constexpr uint32_t Compiled = 3;
inline constexpr uint32_t WriteFailed = 4;         // assembled, but the .com could not be written
inline constexpr uint32_t RunMarker = 0x53494D55;  // 'SIMU'

// Fixed texts of the workbench.
inline constexpr char kWindowClass[] = "QuorixClassEx";
inline constexpr char kWindowTitle[] = "Quorix V-1.0";
inline constexpr char kEditorClass[] = "TQuorixClassTE";
inline constexpr char kOpcodePath[] = "compiler\\OpCode.qrx";
inline constexpr char kDefaultSourcePath[] = "Compiler\\TheFile.asm";
inline constexpr char kEditorMissing[] =
    "QuorixClassTE are not found, Execute it first. It at Compiler\\Nuvedo.exe";
static_assert(sizeof(kEditorMissing) - 1 == 72);
// The load screen's notice when the opcode file is not there: this line
// after the path looked for, the folder it was looked for in, then the way
// out.
inline constexpr char kOpcodeMissing[] = " is not found in the folder:";
inline constexpr char kOpcodeMissingHint[] =
    "Start the workbench from the folder that holds the Compiler folder.";
static_assert(sizeof(kDefaultSourcePath) == 21);

}  // namespace quorix
