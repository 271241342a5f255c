#include "backends/win32/win32_services.h"

#include "backends/win32/windows_api.h"

#include <algorithm>
#include <cstring>

namespace quorix::win32 {

namespace {

constexpr DWORD kChunk = 1u << 20;  // ReadFile/WriteFile take at most this much per call

// A handle closed when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (valid()) ::CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }
  // Closes now; false when closing failed (the last buffered bytes may be lost).
  bool Close() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h == INVALID_HANDLE_VALUE || ::CloseHandle(h) != 0;
  }

 private:
  HANDLE h_;
};

// A link: a symbolic link, a junction or a mount point. Other reparse points
// (cloud placeholders, deduplicated files) are ordinary files to us.
bool IsLink(HANDLE h, DWORD attributes) {
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag)) return true;
  return IsReparseTagNameSurrogate(tag.ReparseTag) != 0;
}

// A plain file on a disk: not a directory, a device, a pipe or a link.
bool PlainFile(HANDLE h, FileId* id, uint64_t* size) {
  if (::GetFileType(h) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info)) return false;
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return false;
  if (IsLink(h, info.dwFileAttributes)) return false;
  if (id)
    *id = {info.dwVolumeSerialNumber, uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
  if (size) *size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  return true;
}

// Opens an existing entry without following a link and without asking for
// access to its contents. Invalid when there is nothing of that name.
HANDLE OpenEntry(const char* path) {
  return ::CreateFileA(
      path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool Missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND; }

}  // namespace

bool HasWildcard(const char* path) { return std::strpbrk(path, "*?") != nullptr; }

bool Win32Services::IsInput(const FileId& id) const {
  return std::find(inputs_.begin(), inputs_.end(), id) != inputs_.end();
}

FileReadResult Win32Services::ReadWholeFile(const char* path, std::span<uint8_t> buf,
                                            uint32_t limit, ReadMode mode) {
  FileReadResult r;
  if (path == nullptr || path[0] == 0 || HasWildcard(path)) return r;  // Missing
  // An existing file is read through a link like any program would; with
  // CreateMissing a missing one is created empty, but never where a dangling
  // link points (CREATE_NEW fails on the link itself).
  HANDLE opened = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD error = opened == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
  if (opened == INVALID_HANDLE_VALUE && Missing(error) && mode == ReadMode::CreateMissing) {
    opened =
        ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    error = opened == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
    if (error == ERROR_FILE_EXISTS) error = ERROR_FILE_NOT_FOUND;  // a link to nothing
  }
  Handle h(opened);
  if (!h.valid()) {
    if (Missing(error) || error == ERROR_PATH_NOT_FOUND) {
      r.status = ReadStatus::Missing;
    } else if (error == ERROR_ACCESS_DENIED) {
      // A folder cannot be opened for reading either: tell it apart.
      Handle entry(OpenEntry(path));
      r.status = entry.valid() && !PlainFile(entry.get(), nullptr, nullptr) ? ReadStatus::NotRegular
                                                                            : ReadStatus::Denied;
    } else {
      r.status = ReadStatus::Failed;
    }
    return r;
  }
  FileId id;
  uint64_t size = 0;
  if (!PlainFile(h.get(), &id, &size)) {
    r.status = ReadStatus::NotRegular;
    return r;
  }
  id = Identify(path, id);
  r.opened = true;
  r.fileSize = size;
  if (!IsInput(id)) inputs_.push_back(id);
  const size_t want = std::min<size_t>(limit, buf.size());
  size_t got = 0;
  bool failed = false;
  while (got < want) {
    DWORD n = 0;
    DWORD ask = static_cast<DWORD>(std::min<size_t>(want - got, kChunk));
    if (!::ReadFile(h.get(), buf.data() + got, ask, &n, nullptr)) failed = true;
    if (failed || n == 0) break;
    got += n;
  }
  r.bytesRead = static_cast<uint32_t>(got);
  // Short of both the limit and the size it had when opened: the read was
  // not the whole file.
  r.status = failed || (got < want && got < size) ? ReadStatus::Failed : ReadStatus::Ok;
  return r;
}

bool Win32Services::SameFile(const char* a, const char* b) {
  if (a == nullptr || b == nullptr || a[0] == 0 || b[0] == 0) return false;
  if (HasWildcard(a) || HasWildcard(b)) return false;
  // Both followed through links, as a read follows them.
  auto identify = [](const char* path, FileId* id) {
    Handle h(::CreateFileA(path, FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!h.valid() || !::GetFileInformationByHandle(h.get(), &info)) return false;
    *id = {info.dwVolumeSerialNumber, uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
    return true;
  };
  FileId ia, ib;
  return identify(a, &ia) && identify(b, &ib) && ia == ib;
}

uint32_t Win32Services::WriteWholeFile(const char* path, std::span<const uint8_t> data, bool& ok) {
  ok = false;
  if (path == nullptr || path[0] == 0 || HasWildcard(path)) return 0;
  {
    // What already has this name must be a plain file (not a link) that was
    // not read as an input; CREATE_ALWAYS would truncate it before we could
    // look.
    Handle old(OpenEntry(path));
    if (old.valid()) {
      FileId id;
      if (!PlainFile(old.get(), &id, nullptr) || IsInput(Identify(path, id))) return 0;
    } else if (!Missing(::GetLastError())) {
      return 0;
    }
  }
  Handle h(::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h.valid()) return 0;
  FileId id;
  if (!PlainFile(h.get(), &id, nullptr) || IsInput(Identify(path, id))) return 0;
  size_t done = 0;
  while (done < data.size()) {
    DWORD n = 0;
    DWORD ask = static_cast<DWORD>(std::min<size_t>(data.size() - done, kChunk));
    if (!::WriteFile(h.get(), data.data() + done, ask, &n, nullptr) || n == 0) break;
    done += n;
  }
  const bool closed = h.Close();
  ok = closed && done == data.size();
  return static_cast<uint32_t>(done);
}

bool Win32Services::DeleteFile(const char* path) {
  if (path == nullptr || path[0] == 0 || HasWildcard(path)) return false;
  {
    // A link is deleted as itself (its target stays); a folder, a device or
    // an input is not deleted at all.
    Handle old(OpenEntry(path));
    if (!old.valid()) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(old.get()) != FILE_TYPE_DISK ||
        !::GetFileInformationByHandle(old.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
      return false;
    const FileId id{info.dwVolumeSerialNumber,
                    uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
    if (IsInput(Identify(path, id))) return false;
  }
  return ::DeleteFileA(path) != 0;
}

bool Win32Services::FileExists(const char* path) {
  if (path == nullptr || path[0] == 0 || HasWildcard(path)) return false;
  WIN32_FIND_DATAA found;
  HANDLE h = ::FindFirstFileA(path, &found);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::FindClose(h);
  return true;
}

void Win32Services::UpperCase(std::span<uint8_t> text) {
  const uint8_t* end = static_cast<const uint8_t*>(std::memchr(text.data(), 0, text.size()));
  if (end != nullptr) {
    // The text ends inside the span: CharUpperA stops at its zero.
    if (end != text.data()) ::CharUpperA(reinterpret_cast<char*>(text.data()));
  } else if (!text.empty()) {
    ::CharUpperBuffA(reinterpret_cast<char*>(text.data()), static_cast<DWORD>(text.size()));
  }
}

void* Win32Services::AllocateZeroedBlock(size_t size) {
  // GMEM_FIXED: the handle is the block's address.
  return reinterpret_cast<void*>(::GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size));
}

void Win32Services::ReleaseBlock(void* block) {
  if (block != nullptr) ::GlobalFree(reinterpret_cast<HGLOBAL>(block));
}

}  // namespace quorix::win32
