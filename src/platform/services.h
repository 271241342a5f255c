// What the portable core needs of the operating system besides a window:
// whole files, zero-filled memory blocks and upper-casing. Backends implement
// it (backends/posix, backends/win32); programs that show no window use such
// a services class on its own. The core never includes a native header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>

namespace quorix {

// How a read ended. Only Ok means the bytes are the file's: a regular file,
// read without error up to its end or up to the limit.
enum class ReadStatus : uint8_t {
  Ok,
  Missing,     // no such file (or a link to nothing)
  NotRegular,  // a directory, a FIFO, a device
  Denied,      // no permission to read it
  Failed,      // an error while reading, or the file shrank under the read
};

// Whether a read may create a missing file (an empty one, never through a
// symbolic link) or only reads what exists.
enum class ReadMode : uint8_t { Existing, CreateMissing };

// What names one file, however a path spells it: its volume (device) and
// its number there. All zero: no file (nothing was opened).
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool known() const { return volume != 0 || index != 0; }
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct FileReadResult {
  bool opened = false;  // a regular file was opened
  ReadStatus status = ReadStatus::Missing;
  uint32_t bytesRead = 0;
  uint64_t fileSize = 0;  // whole size of the file, may exceed bytesRead
  FileIdentity identity;  // of the file opened, taken when it was opened
};

// How a whole-file write ended. Only Ok means every byte is in place.
enum class WriteStatus : uint8_t {
  Ok,
  IsSource,     // the name is the file to keep (the source): not replaced
  Folder,       // a folder has the name
  Link,         // a symbolic link (or a junction) has the name
  Special,      // a device, a FIFO, a socket or a pipe that is not written
  NoFolder,     // the folder it would go in does not exist
  Denied,       // no permission
  InvalidName,  // no file name (empty, or with wildcards)
  Failed,       // an error while writing, flushing or moving into place
};

struct FileWriteResult {
  WriteStatus status = WriteStatus::Failed;
  uint32_t bytesWritten = 0;  // bytes that reached the file (or the new one)
  bool ok() const { return status == WriteStatus::Ok; }
};

class Services {
 public:
  virtual ~Services() = default;

  // ---- files. Paths are the workbench's own ('\' separators allowed). ----
  // Reads at most limit bytes of a regular file into buf (never more than
  // buf.size()). With CreateMissing an empty file is created first when none
  // exists under the path (not when the path is a link to nothing).
  virtual FileReadResult ReadWholeFile(const char* path, std::span<uint8_t> buf, uint32_t limit,
                                       ReadMode mode) = 0;
  // Makes data the whole content of the file named path, all or nothing:
  // written into a new file in the same folder, flushed, then moved over
  // the name, so a refused or failed write leaves what had the name as it
  // was and no new or empty file behind. Only a regular file is replaced;
  // a folder, a link, a FIFO or a device is never deleted or replaced (a
  // character device on POSIX is written to directly, as itself). The file
  // `keep` names (when known: the source that was read) is refused under
  // any name.
  virtual FileWriteResult WriteWholeFile(const char* path, std::span<const uint8_t> data,
                                         const FileIdentity& keep) = 0;
  // Deletes a regular file; anything else (a folder, a link, a device) stays.
  virtual bool DeleteFile(const char* path) = 0;
  virtual bool FileExists(const char* path) = 0;
  // True when both paths name one existing file (the same file, however
  // spelt: other case, other folder route, a link), as the file system
  // identifies it.
  virtual bool SameFile(const char* a, const char* b) = 0;
  // The folder that relative paths start from, for the screen to name; empty
  // when it cannot be told.
  virtual std::string CurrentFolder() {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::current_path(error);
    return error ? std::string() : folder.string();
  }

  // ---- memory ----
  // One zero-filled block of size bytes that stays in place until released;
  // null when there is none to give.
  virtual void* AllocateZeroedBlock(size_t size) { return std::calloc(size, 1); }
  virtual void ReleaseBlock(void* block) { std::free(block); }

  // ---- text ----
  // Upper-cases the NUL-terminated text in place (at most text.size() bytes).
  virtual void UpperCase(std::span<uint8_t> text) = 0;
};

}  // namespace quorix
