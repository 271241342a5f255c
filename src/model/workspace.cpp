#include "model/workspace.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "model/context_record.h"

namespace quorix {

namespace {

constexpr AreaLayout kLayout[] = {
    {Workspace::kBlockBase + 0, 20'000},                      // opcode text
    {Workspace::kBlockBase + 20'000, 5'000},                  // opcode LineIndex (1,250 entries)
    {Workspace::kBlockBase + 25'000, 2'000'000},              // source text
    {Workspace::kBlockBase + 2'025'000, 2'000'000},           // source LineIndex (500,000 entries)
    {Workspace::kBlockBase + 4'025'000, 2'000'000},           // output bytes
    {Workspace::kBlockBase + 6'025'000, 1'900'000},           // LineRecord array (237,500 records)
    {Workspace::kBlockBase + 7'925'000, 75'000},              // SymbolTable (18,750 entries)
    {Workspace::kGlobalsBase, Workspace::kPathBufferSize},    // path buffer
    {Workspace::kGlobalsBase + 0x1000, sizeof(kOpcodePath)},  // opcode path
};
static_assert(sizeof(kLayout) / sizeof(kLayout[0]) == static_cast<int>(Area::Count));
static_assert(7'925'000 + 75'000 == Workspace::kBlockSize);

}  // namespace

void Workspace::FreeDeleter::operator()(uint8_t* p) const {
  if (services != nullptr) {
    services->ReleaseBlock(p);
  } else {
    std::free(p);
  }
}

Workspace::Workspace()
    : block_(static_cast<uint8_t*>(std::calloc(kBlockSize, 1)), FreeDeleter{nullptr}) {
  if (!block_) throw std::bad_alloc();
  std::memcpy(opcodePath_, kOpcodePath, sizeof(kOpcodePath));
}

Workspace::Workspace(Services& services)
    : block_(static_cast<uint8_t*>(services.AllocateZeroedBlock(kBlockSize)),
             FreeDeleter{&services}) {
  if (!block_) throw std::bad_alloc();
  std::memcpy(opcodePath_, kOpcodePath, sizeof(kOpcodePath));
}

AreaLayout Workspace::Layout(Area a) { return kLayout[static_cast<int>(a)]; }

uint8_t* Workspace::HostBase(Area a) {
  switch (a) {
    case Area::PathBuffer: return path_;
    case Area::OpcodePath: return opcodePath_;
    default: return block_.get() + (Layout(a).address - kBlockBase);
  }
}

std::span<uint8_t> Workspace::Resolve(uint32_t addr, uint32_t len) {
  std::span<uint8_t> tail = Tail(addr);
  if (tail.data() == nullptr || len > tail.size()) return {};
  return tail.first(len);
}

std::span<const uint8_t> Workspace::Resolve(uint32_t addr, uint32_t len) const {
  return const_cast<Workspace*>(this)->Resolve(addr, len);
}

std::span<uint8_t> Workspace::Tail(uint32_t addr) {
  // An address inside an area belongs to it; the address just past an area's
  // end (which may be the next area's start) only gives an empty tail.
  int first = 0, last = static_cast<int>(Area::Count);
  if (addr >= kBlockBase) {
    last = static_cast<int>(Area::PathBuffer);  // the block's areas, in address order
  } else {
    first = static_cast<int>(Area::PathBuffer);
  }
  std::span<uint8_t> atEnd;
  for (int i = last - 1; i >= first; --i) {
    const AreaLayout& l = kLayout[i];
    if (addr < l.address) continue;
    const uint32_t off = addr - l.address;
    uint8_t* host = HostBase(static_cast<Area>(i));
    if (off < l.size) return {host + off, l.size - off};
    if (off == l.size) atEnd = {host + off, 0};
    break;
  }
  return atEnd;
}

std::span<uint8_t> Workspace::Bytes(Area a) { return {HostBase(a), Layout(a).size}; }

bool Workspace::Read32(uint32_t addr, uint32_t& value) const {
  auto s = Resolve(addr, 4);
  if (s.data() == nullptr) return false;
  value = uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16 | uint32_t(s[3]) << 24;
  return true;
}

bool Workspace::Write32(uint32_t addr, uint32_t value) {
  auto s = Resolve(addr, 4);
  if (s.data() == nullptr) return false;
  for (int i = 0; i < 4; ++i) s[i] = static_cast<uint8_t>(value >> (8 * i));
  return true;
}

bool Workspace::ReadCString(uint32_t addr, std::span<char> out) const {
  if (out.empty()) return false;
  auto tail = const_cast<Workspace*>(this)->Tail(addr);
  if (tail.data() == nullptr) {
    out[0] = 0;
    return false;
  }
  size_t n = 0;
  while (n + 1 < out.size() && n < tail.size() && tail[n] != 0) {
    out[n] = static_cast<char>(tail[n]);
    ++n;
  }
  out[n] = 0;
  return true;
}

const char* DescribeTextStatus(TextStatus s) {
  switch (s) {
    case TextStatus::Loaded: return "loaded";
    case TextStatus::Cut: return "too large: at most 1,000,000 bytes and 499,999 lines";
    case TextStatus::Missing: return "no such file";
    case TextStatus::NotRegular: return "not a regular file";
    case TextStatus::Denied: return "permission denied";
    case TextStatus::Failed: return "read error";
    case TextStatus::PathTooLong: return "path too long";
    case TextStatus::Utf16: return "the source is UTF-16 text; save it as ANSI (Windows-1252)";
  }
  return "read error";
}

void Workspace::ClearWritten(Area area, uint32_t from) {
  uint32_t& dirty = load_.dirty[static_cast<int>(area)];
  std::span<uint8_t> bytes = Bytes(area);
  const uint32_t end = std::min<uint32_t>(dirty, bytes.size());
  if (end > from) std::memset(bytes.data() + from, 0, end - from);
  dirty = from;
}

}  // namespace quorix
