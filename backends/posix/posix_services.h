// The core's services on POSIX systems: files, upper-casing and zero-filled
// memory. The command-line programs use them without a window; the headless
// and X11 backends join them with one.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/services.h"

namespace quorix {

// Turns a workbench path into a host path: '\' becomes '/', and a component
// that does not exist under its exact name is matched case-insensitively in
// its directory, as Windows would. Components that match nothing are kept as
// written (so a file can still be created under them).
std::string ResolveHostPath(const char* path);

// In-place upper-casing by the Windows-1252 table: ASCII letters and the
// accented Latin letters; independent of the machine's locale.
void UpperCase1252(std::span<uint8_t> text);
uint8_t Upper1252(uint8_t c);

// What names one file on this system, however a path spells it: the device
// that holds it (the volume) and its inode number there (inode numbers
// repeat across devices).
FileIdentity IdentityOf(const struct stat& st);

class PosixServices : public virtual Services {
 public:
  FileReadResult ReadWholeFile(const char* path, std::span<uint8_t> buf, uint32_t limit,
                               ReadMode mode) override;
  FileWriteResult WriteWholeFile(const char* path, std::span<const uint8_t> data,
                                 const FileIdentity& keep) override;
  bool DeleteFile(const char* path) override;
  bool FileExists(const char* path) override;
  bool SameFile(const char* a, const char* b) override;
  void UpperCase(std::span<uint8_t> text) override { UpperCase1252(text); }
  // Anonymous pages, in 2 MiB pages where the kernel offers them: the
  // workspace's first touches then cost a few faults instead of hundreds.
  void* AllocateZeroedBlock(size_t size) override;
  void ReleaseBlock(void* block) override;

 protected:
  // The identity of the file at host path, as the file system reported it.
  // Tests stand in for the file system's numbering here.
  virtual FileIdentity Identify(const std::string& host, FileIdentity reported) const {
    (void)host;
    return reported;
  }

 private:
  struct Mapping {
    void* base = nullptr;
    size_t length = 0;
    void* block = nullptr;
  };
  std::vector<Mapping> mappings_;
};

}  // namespace quorix
