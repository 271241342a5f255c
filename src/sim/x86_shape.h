// What the debugger needs to know of one x86 instruction without decoding
// it whole: its kind (call, return, jump, loop, string, ...), whether a REP
// prefix repeats it, and its length where a step over needs it.
#pragma once

#include <cstdint>
#include <span>

namespace quorix {

enum class InsnKind {
  Other,
  Jump,      // JMP (near, short, far, through a register or memory)
  CondJump,  // Jcc, JCXZ
  Loop,      // LOOP, LOOPE, LOOPNE
  Call,      // CALL (near, far, through a register or memory)
  Ret,       // RET, RETF (with or without a count), IRET
  Int,       // INT n, INT3, INTO
  Push,      // PUSH of a register, number or memory, PUSHF, PUSHA
  Pop,       // POP, POPF, POPA
  String,    // MOVS, STOS, LODS, CMPS, SCAS, INS, OUTS
  Compare,   // CMP
  Test,      // TEST
  Halt,      // HLT
};

struct InsnShape {
  InsnKind kind = InsnKind::Other;
  // Bytes of the instruction, prefixes included; 0 when not worked out
  // (it is for calls, returns, loops, INT, string instructions and HLT).
  uint32_t length = 0;
  bool rep = false;    // a string instruction after F2 or F3
  bool far = false;    // far CALL, JMP or RET
  uint8_t number = 0;  // INT n: n
  int32_t offset = 0;  // relative jumps, calls and loops: the displacement
  bool relative = false;
};

// The shape of the instruction whose bytes begin `code`, in code of `bits`
// (16 or 32). Bytes missing at the end read as an Other of unknown length.
InsnShape ShapeOf(std::span<const uint8_t> code, uint32_t bits);

// True when the instruction can lead straight back to its own first byte:
// a REP string instruction (one iteration at a time) or a control transfer.
inline bool CanRepeatItself(const InsnShape& s) {
  switch (s.kind) {
    case InsnKind::Jump:
    case InsnKind::CondJump:
    case InsnKind::Loop:
    case InsnKind::Call:
    case InsnKind::Ret: return true;
    case InsnKind::String: return s.rep;
    default: return false;
  }
}

}  // namespace quorix
