#include "backends/win32/win32_services.h"

#include "backends/win32/windows_api.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <string>

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
    *id = {uint64_t(info.dwVolumeSerialNumber),
           uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
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

bool IsDeviceName(const char* path) {
  if (path == nullptr) return false;
  if ((path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/') &&
      path[2] == '.' && (path[3] == '\\' || path[3] == '/'))
    return true;
  // The last component, up to its first '.', without trailing blanks.
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
  std::string base(name, std::strcspn(name, "."));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* d : kDevices)
    if (base == d) return true;
  return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
         base[3] >= '1' && base[3] <= '9';
}

bool Win32Services::WritePiece(void* handle, const uint8_t* data, uint32_t size,
                               uint32_t* written) {
  DWORD n = 0;
  const bool ok = ::WriteFile(static_cast<HANDLE>(handle), data, size, &n, nullptr) != 0;
  *written = n;
  return ok;
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
  r.opened = true;
  r.fileSize = size;
  r.identity = Identify(path, id);
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
    *id = {uint64_t(info.dwVolumeSerialNumber),
           uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
    return true;
  };
  FileId ia, ib;
  return identify(a, &ia) && identify(b, &ib) && ia == ib;
}

namespace {

WriteStatus WriteStatusOf(DWORD error) {
  switch (error) {
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE: return WriteStatus::NoFolder;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION: return WriteStatus::Denied;
    case ERROR_INVALID_NAME: return WriteStatus::BadName;
    default: return WriteStatus::Failed;
  }
}

// What has the name now: Ok for nothing or a plain file other than keep.
WriteStatus WhatIsThere(const char* path, const FileIdentity& keep,
                        const std::function<FileId(FileId)>& identify) {
  Handle old(OpenEntry(path));
  if (!old.valid()) {
    const DWORD error = ::GetLastError();
    return Missing(error) ? WriteStatus::Ok : WriteStatusOf(error);
  }
  if (::GetFileType(old.get()) != FILE_TYPE_DISK) return WriteStatus::Special;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(old.get(), &info)) return WriteStatus::Failed;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return WriteStatus::Folder;
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return WriteStatus::Special;
  if (IsLink(old.get(), info.dwFileAttributes)) return WriteStatus::Link;
  const FileId id{uint64_t(info.dwVolumeSerialNumber),
                  uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
  return keep.known() && identify(id) == keep ? WriteStatus::IsSource : WriteStatus::Ok;
}

// A new file beside path (same folder, so a move puts it in place), made
// exclusively; invalid when none could be made.
HANDLE CreateBeside(const std::string& path, std::string* temp) {
  static unsigned counter = 0;
  const size_t slash = path.find_last_of("\\/:");
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp = dir + "~quorix-" + std::to_string(::GetCurrentProcessId()) + "-" +
            std::to_string(++counter) + ".part";
    HANDLE h = ::CreateFileA(temp->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) return h;
  }
  ::SetLastError(ERROR_FILE_EXISTS);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

FileWriteResult Win32Services::WriteWholeFile(const char* path, std::span<const uint8_t> data,
                                              const FileIdentity& keep) {
  FileWriteResult w;
  if (path == nullptr || path[0] == 0 || HasWildcard(path)) {
    w.status = WriteStatus::BadName;
    return w;
  }
  // A device is never opened for writing, let alone replaced.
  w.status = IsDeviceName(path)
                 ? WriteStatus::Special
                 : WhatIsThere(path, keep, [&](FileId id) { return Identify(path, id); });
  if (w.status != WriteStatus::Ok) return w;
  std::string temp;
  Handle h(CreateBeside(path, &temp));
  if (!h.valid()) {
    w.status = WriteStatusOf(::GetLastError());
    return w;
  }
  size_t done = 0;
  bool failed = false;
  while (done < data.size() && !failed) {
    uint32_t n = 0;
    const uint32_t ask = static_cast<uint32_t>(std::min<size_t>(data.size() - done, kChunk));
    failed = !WritePiece(h.get(), data.data() + done, ask, &n) || n == 0;
    done += n;
  }
  w.bytesWritten = static_cast<uint32_t>(done);
  failed = failed || !::FlushFileBuffers(h.get());
  failed = !h.Close() || failed;
  if (failed ||
      !::MoveFileExA(temp.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = ::GetLastError();
    ::DeleteFileA(temp.c_str());
    w.status = failed ? WriteStatus::Failed : WriteStatusOf(error);
    return w;
  }
  w.status = WriteStatus::Ok;
  return w;
}

bool Win32Services::DeleteFile(const char* path) {
  if (path == nullptr || path[0] == 0 || HasWildcard(path) || IsDeviceName(path)) return false;
  {
    // Only a plain file: a link, a folder or a device is not deleted.
    Handle old(OpenEntry(path));
    if (!old.valid() || !PlainFile(old.get(), nullptr, nullptr)) return false;
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
