// The core's services on Windows: files, upper-casing and zero-filled
// memory, shared by the window, the off-screen platform of the tests and the
// command-line assembler (which uses them without a window).
//
// Files keep the guarantees the workbench relies on: reads are bounded by
// the caller's buffer, only plain disk files are read or written (no
// directories or devices; a link is read through but nothing is created or
// written through one), a write that does not reach the file is never
// reported as done, and a file that was read as an input is never deleted or
// overwritten under another name (identity is the volume serial number and
// file index, so hard links and short names are caught too).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/services.h"

namespace quorix::win32 {

// What identifies a file on its volume.
struct FileId {
  uint32_t volume = 0;
  uint64_t index = 0;
  friend bool operator==(const FileId&, const FileId&) = default;
};

class Win32Services : public virtual Services {
 public:
  FileReadResult ReadWholeFile(const char* path, std::span<uint8_t> buf, uint32_t limit,
                               ReadMode mode) override;
  bool SameFile(const char* a, const char* b) override;
  uint32_t WriteWholeFile(const char* path, std::span<const uint8_t> data, bool& ok) override;
  bool DeleteFile(const char* path) override;
  bool FileExists(const char* path) override;
  void UpperCase(std::span<uint8_t> text) override;
  void* AllocateZeroedBlock(size_t size) override;
  void ReleaseBlock(void* block) override;

  // Files read so far, by identity (the inputs that output must not replace).
  const std::vector<FileId>& inputs() const { return inputs_; }

 protected:
  // The identity of the file opened under path, as the file system reported
  // it. Tests stand in for the file system's numbering here.
  virtual FileId Identify(const char* path, FileId reported) const {
    (void)path;
    return reported;
  }

 private:
  bool IsInput(const FileId& id) const;
  std::vector<FileId> inputs_;
};

// Wildcards in a path would make a file-existence test match other files.
bool HasWildcard(const char* path);

}  // namespace quorix::win32
