#include "sim/x86_shape.h"

namespace quorix {

namespace {

struct Prefixes {
  uint32_t count = 0;
  bool operand = false;  // 66
  bool address = false;  // 67
  bool rep = false;      // F2 or F3
};

Prefixes ReadPrefixes(std::span<const uint8_t> code) {
  Prefixes p;
  while (p.count < code.size() && p.count < 14) {
    const uint8_t b = code[p.count];
    if (b == 0x66) {
      p.operand = true;
    } else if (b == 0x67) {
      p.address = true;
    } else if (b == 0xF2 || b == 0xF3) {
      p.rep = true;
    } else if (b != 0x26 && b != 0x2E && b != 0x36 && b != 0x3E && b != 0x64 && b != 0x65 &&
               b != 0xF0) {
      break;
    }
    ++p.count;
  }
  return p;
}

// Bytes of a ModR/M operand from the ModR/M byte on (SIB and displacement
// included); 0 when they are missing.
uint32_t ModRmLength(std::span<const uint8_t> rest, bool address16) {
  if (rest.empty()) return 0;
  const uint8_t modrm = rest[0];
  const uint32_t mod = modrm >> 6, rm = modrm & 7;
  if (mod == 3) return 1;
  if (address16) {
    if (mod == 0) return rm == 6 ? 3 : 1;
    return mod == 1 ? 2 : 3;
  }
  uint32_t n = 1;
  if (rm == 4) {
    if (rest.size() < 2) return 0;
    ++n;
    if (mod == 0 && (rest[1] & 7) == 5) return n + 4;
  }
  if (mod == 0) return rm == 5 ? n + 4 : n;
  return mod == 1 ? n + 1 : n + 4;
}

int32_t Signed(std::span<const uint8_t> b, uint32_t bytes) {
  if (bytes == 1) return static_cast<int8_t>(b[0]);
  if (bytes == 2) return static_cast<int16_t>(b[0] | (b[1] << 8));
  return static_cast<int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24));
}

bool IsString(uint8_t op) {
  return (op >= 0xA4 && op <= 0xA7) || (op >= 0xAA && op <= 0xAF) || (op >= 0x6C && op <= 0x6F);
}

// FF /2../5 and 8F /0, F6/F7 /0 and 80..83 /7: the kind its reg field gives.
InsnKind GroupKind(uint8_t op, uint8_t reg, bool* far) {
  if (op == 0xFF) {
    *far = reg == 3 || reg == 5;
    if (reg == 2 || reg == 3) return InsnKind::Call;
    if (reg == 4 || reg == 5) return InsnKind::Jump;
    if (reg == 6) return InsnKind::Push;
    return InsnKind::Other;
  }
  if (op == 0x8F) return reg == 0 ? InsnKind::Pop : InsnKind::Other;
  if (op == 0xF6 || op == 0xF7) return reg == 0 ? InsnKind::Test : InsnKind::Other;
  return reg == 7 ? InsnKind::Compare : InsnKind::Other;  // 80..83
}

InsnKind SimpleKind(uint8_t op) {
  if ((op >= 0x50 && op <= 0x57) || op == 0x6A || op == 0x68 || op == 0x06 || op == 0x0E ||
      op == 0x16 || op == 0x1E || op == 0x9C || op == 0x60)
    return InsnKind::Push;
  if ((op >= 0x58 && op <= 0x5F) || op == 0x07 || op == 0x17 || op == 0x1F || op == 0x9D ||
      op == 0x61)
    return InsnKind::Pop;
  if (op >= 0x38 && op <= 0x3D) return InsnKind::Compare;
  if (op == 0x84 || op == 0x85 || op == 0xA8 || op == 0xA9) return InsnKind::Test;
  if (op == 0xF4) return InsnKind::Halt;
  return InsnKind::Other;
}

}  // namespace

InsnShape ShapeOf(std::span<const uint8_t> code, uint32_t bits) {
  InsnShape s;
  const Prefixes p = ReadPrefixes(code);
  if (p.count >= code.size()) return s;
  const bool operand16 = (bits == 16) != p.operand;
  const bool address16 = (bits == 16) != p.address;
  const uint32_t immediate = operand16 ? 2 : 4;
  const uint8_t op = code[p.count];
  const std::span<const uint8_t> rest = code.subspan(p.count + 1);
  auto relative = [&](InsnKind kind, uint32_t bytes) {
    s.kind = kind;
    if (rest.size() < bytes) return;
    s.length = p.count + 1 + bytes;
    s.offset = Signed(rest, bytes);
    s.relative = true;
  };
  if (IsString(op)) {
    s.kind = InsnKind::String;
    s.rep = p.rep;
    s.length = p.count + 1;
  } else if (op >= 0x70 && op <= 0x7F) {
    relative(InsnKind::CondJump, 1);
  } else if (op == 0xE3) {
    relative(InsnKind::CondJump, 1);
  } else if (op >= 0xE0 && op <= 0xE2) {
    relative(InsnKind::Loop, 1);
  } else if (op == 0xE8) {
    relative(InsnKind::Call, immediate);
  } else if (op == 0xE9) {
    relative(InsnKind::Jump, immediate);
  } else if (op == 0xEB) {
    relative(InsnKind::Jump, 1);
  } else if (op == 0x0F && !rest.empty() && rest[0] >= 0x80 && rest[0] <= 0x8F) {
    s.kind = InsnKind::CondJump;
    if (rest.size() >= 1 + immediate) {
      s.length = p.count + 2 + immediate;
      s.offset = Signed(rest.subspan(1), immediate);
      s.relative = true;
    }
  } else if (op == 0x9A || op == 0xEA) {
    s.kind = op == 0x9A ? InsnKind::Call : InsnKind::Jump;
    s.far = true;
    s.length = p.count + 1 + immediate + 2;
  } else if (op == 0xC3 || op == 0xCB || op == 0xCF) {
    s.kind = InsnKind::Ret;
    s.far = op != 0xC3;
    s.length = p.count + 1;
  } else if (op == 0xC2 || op == 0xCA) {
    s.kind = InsnKind::Ret;
    s.far = op == 0xCA;
    s.length = p.count + 3;
  } else if (op == 0xCD || op == 0xCC || op == 0xCE) {
    s.kind = InsnKind::Int;
    s.number = op == 0xCC ? 3 : op == 0xCE ? 4 : rest.empty() ? 0 : rest[0];
    s.length = p.count + (op == 0xCD ? 2 : 1);
  } else if (op == 0xFF || op == 0x8F || op == 0xF6 || op == 0xF7 || (op >= 0x80 && op <= 0x83)) {
    if (rest.empty()) return s;
    s.kind = GroupKind(op, (rest[0] >> 3) & 7, &s.far);
    const uint32_t m = ModRmLength(rest, address16);
    if (m != 0 && (s.kind == InsnKind::Call || s.kind == InsnKind::Jump))
      s.length = p.count + 1 + m;
  } else if (op == 0x0F && rest.size() >= 1 && (rest[0] == 0xA0 || rest[0] == 0xA8)) {
    s.kind = InsnKind::Push;
  } else if (op == 0x0F && rest.size() >= 1 && (rest[0] == 0xA1 || rest[0] == 0xA9)) {
    s.kind = InsnKind::Pop;
  } else {
    s.kind = SimpleKind(op);
    if (s.kind == InsnKind::Halt) s.length = p.count + 1;
  }
  return s;
}

}  // namespace quorix
