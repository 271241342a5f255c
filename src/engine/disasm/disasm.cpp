#include "engine/disasm/disasm.h"

#include <cstdio>

#include <Zydis/Zydis.h>

namespace quorix::disasm {

Decoded DecodeOne(const uint8_t* bytes, size_t size, uint32_t address, int bits) {
  Decoded d;
  if (size == 0) return d;
  ZydisDisassembledInstruction ins;
  const ZydisMachineMode mode =
      bits == 32 ? ZYDIS_MACHINE_MODE_LEGACY_32 : ZYDIS_MACHINE_MODE_LEGACY_16;
  if (!ZYAN_SUCCESS(ZydisDisassembleIntel(mode, address, bytes, size, &ins))) return d;
  d.length = ins.info.length;
  d.text = ins.text;
  return d;
}

std::string DecodeAll(const uint8_t* bytes, size_t size, uint32_t address, int bits) {
  std::string out;
  size_t at = 0;
  while (at < size) {
    if (!out.empty()) out += "; ";
    Decoded d = DecodeOne(bytes + at, size - at, address + static_cast<uint32_t>(at), bits);
    if (d.length == 0) {
      char db[16];
      std::snprintf(db, sizeof db, "db %02Xh", bytes[at]);
      out += db;
      ++at;
      continue;
    }
    out += d.text;
    at += d.length;
  }
  return out;
}

}  // namespace quorix::disasm
