// The core's services on Windows: files, upper-casing and zero-filled
// memory, shared by the window, the off-screen platform of the tests and the
// command-line assembler (which uses them without a window).
//
// Files keep the guarantees the workbench relies on: reads are bounded by
// the caller's buffer, only plain disk files are read or written (no
// directories or devices; a link is read through but nothing is created or
// written through one), a write goes into a new file beside the old one and
// is moved over it only when every byte reached the disk, and the file a
// write is told to keep (the source a compile read) is never replaced under
// another name (identity is the volume serial number and file index, so hard
// links and short names are caught too).
#pragma once

#include <cstdint>

#include "platform/services.h"

namespace quorix::win32 {

// What identifies a file on its volume: the volume serial number and the
// file index.
using FileId = FileIdentity;

class Win32Services : public virtual Services {
 public:
  FileReadResult ReadWholeFile(const char* path, std::span<uint8_t> buf, uint32_t limit,
                               ReadMode mode) override;
  bool SameFile(const char* a, const char* b) override;
  FileWriteResult WriteWholeFile(const char* path, std::span<const uint8_t> data,
                                 const FileIdentity& keep) override;
  bool DeleteFile(const char* path) override;
  bool FileExists(const char* path) override;
  void UpperCase(std::span<uint8_t> text) override;
  void* AllocateZeroedBlock(size_t size) override;
  void ReleaseBlock(void* block) override;

 protected:
  // The identity of the file opened under path, as the file system reported
  // it. Tests stand in for the file system's numbering here.
  virtual FileId Identify(const char* path, FileId reported) const {
    (void)path;
    return reported;
  }
  // Writes one piece of a file through its handle (WriteFile): false when
  // the system reports an error. Tests stand in for a disk that fails.
  virtual bool WritePiece(void* handle, const uint8_t* data, uint32_t size, uint32_t* written);
};

// A name Windows gives to a device in every folder (CON, NUL, COM1, LPT1,
// ..., also with an extension: nul.asm), or a path in the device namespace
// (\\.\...).
bool IsDeviceName(const char* path);

// Wildcards in a path would make a file-existence test match other files.
bool HasWildcard(const char* path);

}  // namespace quorix::win32
