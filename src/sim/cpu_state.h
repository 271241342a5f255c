// The simulated register block of the step simulator: 26 words.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorix {

struct CpuState {
  // Register words in the processor's own numbering: EAX, ECX, EDX, EBX,
  // ESP, EBP, ESI, EDI; then EIP, EFLAGS and the segment registers ES, CS,
  // SS, DS, FS, GS (the order of sim/machine.h's Reg); spare words to 24.
  uint32_t Regs[25];
  uint32_t CpuMode;  // 0 = not yet set (read as 1), 1 = 16-bit, 2 = 32-bit, all ones = other
};
static_assert(sizeof(CpuState) == 104);
static_assert(offsetof(CpuState, CpuMode) == 100);

inline constexpr int kRegEax = 0;
inline constexpr int kRegEcx = 1;
inline constexpr int kRegEdx = 2;
inline constexpr int kRegEbx = 3;
inline constexpr int kRegEsp = 4;
inline constexpr int kRegEbp = 5;
inline constexpr int kRegEsi = 6;
inline constexpr int kRegEdi = 7;
inline constexpr int kRegEip = 8;
inline constexpr int kRegEflags = 9;
inline constexpr int kRegEs = 10;
inline constexpr int kRegCs = 11;
inline constexpr int kRegSs = 12;
inline constexpr int kRegDs = 13;
inline constexpr int kRegFs = 14;
inline constexpr int kRegGs = 15;

}  // namespace quorix
