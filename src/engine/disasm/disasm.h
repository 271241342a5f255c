// A small x86 decoder for the programs: one instruction at an address, in
// 16- or 32-bit code, as Intel-syntax text and a length. It hides the
// decoding library behind this interface, so the programs never see its
// types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quorix::disasm {

struct Decoded {
  uint32_t length = 0;  // 0: the bytes do not begin an instruction
  std::string text;     // e.g. "mov ax, bx"
};

// Decodes the instruction at bytes[0 .. size) that runs at `address` in code
// of the given width (16 or 32).
Decoded DecodeOne(const uint8_t* bytes, size_t size, uint32_t address, int bits);

// Every instruction of the bytes, "; " between them; undecodable bytes are
// shown as "db XX".
std::string DecodeAll(const uint8_t* bytes, size_t size, uint32_t address, int bits);

}  // namespace quorix::disasm
