// The workspace: one zero-filled 8,000,000-byte block carved into seven fixed
// regions, plus the two small global buffers the record points at (the source
// path buffer and the constant opcode-file path).
//
// Record fields hold 32-bit workbench addresses, not host pointers. Every read
// and write goes through Resolve(), which turns (address, length) into a byte
// span or refuses it when the span would leave the region it starts in.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <span>

#include "platform/services.h"

namespace quorix {

enum class Area : int {
  OpcodeText = 0,
  OpcodeIndex,
  SourceText,
  SourceIndex,
  Output,
  LineRecords,
  Symbols,
  PathBuffer,  // 512 bytes: the source path
  OpcodePath,  // constant "compiler\OpCode.qrx"
  Count
};

// What became of a text at its latest load. Only Loaded and Cut leave the
// file's bytes in the area; after any other outcome the area holds the empty
// text.
enum class TextStatus : uint8_t {
  Loaded,
  Cut,          // larger than its area or index: cut at a line end
  Missing,      // no such file
  NotRegular,   // a folder, a FIFO, a device
  Denied,       // no permission to read it
  Failed,       // a read error
  PathTooLong,  // the path did not fit the path buffer
  Utf16,        // the source is UTF-16 text, which the dialect does not read
};

// A few words on a load outcome, for the screen and the command line.
const char* DescribeTextStatus(TextStatus s);

struct AreaLayout {
  uint32_t address;
  uint32_t size;
};

class Workspace {
 public:
  static constexpr uint32_t kBlockBase = 0x10000000;
  static constexpr uint32_t kBlockSize = 8'000'000;
  static constexpr uint32_t kGlobalsBase = 0x00010000;
  static constexpr uint32_t kPathBufferSize = 512;

  Workspace();
  // The block comes from the services' zero-filled memory and goes back to them.
  explicit Workspace(Services& services);
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  static AreaLayout Layout(Area a);
  static uint32_t Address(Area a) { return Layout(a).address; }
  static uint32_t Size(Area a) { return Layout(a).size; }

  // The bytes [addr, addr+len) when they lie inside one area; an empty span
  // with a null data pointer otherwise. A zero length inside an area (or at
  // its very end) gives a valid empty span.
  std::span<uint8_t> Resolve(uint32_t addr, uint32_t len);
  std::span<const uint8_t> Resolve(uint32_t addr, uint32_t len) const;
  // From addr to the end of the area that holds it; null span when addr lies
  // in no area.
  std::span<uint8_t> Tail(uint32_t addr);
  // The whole of an area.
  std::span<uint8_t> Bytes(Area a);

  bool Read32(uint32_t addr, uint32_t& value) const;
  bool Write32(uint32_t addr, uint32_t value);

  // Copies a NUL-terminated text from addr into out (at most out.size()-1
  // characters, always NUL-terminated). Returns false when addr is outside.
  bool ReadCString(uint32_t addr, std::span<char> out) const;

  // What the last load did beyond the plain read: a text cut to fit its
  // region or index, and a generation counter that changes on every load.
  struct LoadInfo {
    bool opcodeCut = false;
    bool sourceCut = false;
    // The source began with a UTF-8 byte-order mark, which the load left out.
    bool sourceByteOrderMark = false;
    // The source as the latest load left it; only a Loaded source is compiled.
    TextStatus source = TextStatus::Loaded;
    // The file that load read as the source (none when nothing was read):
    // the one file its compile's output must never replace.
    FileIdentity sourceIdentity;
    uint32_t generation = 0;
    // How many bytes of each area the latest load or assembly run may have
    // written (the texts, the output, the line records): the next load
    // clears up to here and no further.
    uint32_t dirty[static_cast<int>(Area::Count)] = {};
  };
  LoadInfo& load() { return load_; }
  const LoadInfo& load() const { return load_; }
  // Zeroes an area's bytes from `from` up to what the latest load or run
  // wrote there, and remembers that only `from` bytes are written now.
  void ClearWritten(Area area, uint32_t from = 0);

 private:
  uint8_t* HostBase(Area a);
  struct FreeDeleter {
    Services* services;  // null: the C library's free
    void operator()(uint8_t* p) const;
  };
  // calloc (or the services' zeroed block): the zero pages of an untouched
  // block cost nothing until used.
  std::unique_ptr<uint8_t, FreeDeleter> block_;
  uint8_t path_[kPathBufferSize] = {};
  uint8_t opcodePath_[32] = {};
  LoadInfo load_;
};

}  // namespace quorix
