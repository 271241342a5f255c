#include "backends/posix/posix_services.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <vector>

namespace quorix {

namespace {

bool Exists(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

// The entry of dir whose name equals name ignoring ASCII case; empty if none.
std::string FindFolded(const std::string& dir, const std::string& name) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return {};
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (::strcasecmp(e->d_name, name.c_str()) == 0) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

// Windows-1252 text as UTF-8 (the five bytes the code page leaves undefined
// keep their Latin-1 meaning).
std::string Utf8From1252(const std::string& s) {
  static const uint16_t k80[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::string out;
  for (unsigned char c : s) {
    uint32_t u = c < 0x80 ? c : c < 0xA0 ? k80[c - 0x80] : c;
    if (u < 0x80) {
      out += static_cast<char>(u);
    } else if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
      out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return out;
}

std::string ResolveFolded(std::string p);

}  // namespace

std::string ResolveHostPath(const char* path) {
  std::string p(path);
  std::replace(p.begin(), p.end(), '\\', '/');
  std::string resolved = ResolveFolded(p);
  // The workbench's paths are Windows-1252 text (the editor's title); on a
  // UTF-8 file system a name with accented letters is found in UTF-8.
  if (!Exists(resolved) && std::any_of(p.begin(), p.end(), [](char c) { return c & 0x80; })) {
    std::string utf8 = ResolveFolded(Utf8From1252(p));
    if (Exists(utf8) || Exists(utf8.substr(0, utf8.find_last_of('/')))) return utf8;
  }
  return resolved;
}

namespace {

std::string ResolveFolded(std::string p) {
  if (p.empty() || Exists(p)) return p;

  std::string out;
  size_t pos = 0;
  if (p[0] == '/') {
    out = "/";
    pos = 1;
  }
  bool resolving = true;
  while (pos <= p.size()) {
    size_t slash = p.find('/', pos);
    if (slash == std::string::npos) slash = p.size();
    std::string comp = p.substr(pos, slash - pos);
    pos = slash + 1;
    if (comp.empty()) continue;
    std::string dir = out.empty() ? "" : out;
    auto below = [&](const std::string& name) {
      if (out.empty()) return name;
      std::string path = out;
      if (path.back() != '/') path += '/';
      return path += name;
    };
    std::string candidate = below(comp);
    if (resolving && !Exists(candidate) && comp != "." && comp != "..") {
      std::string folded = FindFolded(dir.empty() ? "." : dir, comp);
      if (!folded.empty()) {
        candidate = below(folded);
      } else {
        resolving = false;  // nothing below a missing folder can exist
      }
    }
    out = candidate;
  }
  return out;
}

}  // namespace

uint8_t Upper1252(uint8_t c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  switch (c) {
    case 0x9A: return 0x8A;  // s caron
    case 0x9C: return 0x8C;  // oe
    case 0x9E: return 0x8E;  // z caron
    case 0xFF: return 0x9F;  // y diaeresis
    default: break;
  }
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  return c;
}

namespace {
struct UpperTable {
  uint8_t map[256];
  UpperTable() {
    for (int c = 0; c < 256; ++c) map[c] = Upper1252(static_cast<uint8_t>(c));
  }
};
const UpperTable kUpper;
}  // namespace

void UpperCase1252(std::span<uint8_t> text) {
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Words that hold no NUL, no lower-case ASCII letter and no byte above
    // 7F change nothing: they are passed over eight bytes at a time.
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    for (; text.size() - i >= 8; i += 8) {
      uint64_t w;
      std::memcpy(&w, text.data() + i, 8);
      const uint64_t zero = (w - kOnes) & ~w & kHigh;
      // Bytes from 'a' (61) up: w + (80 - 61) sets their top bit; above 'z'
      // (7A) as well, so those are taken out again with w + (80 - 7B).
      const uint64_t lower =
          ((w | kHigh) - 0x6161616161616161ull) & ~((w | kHigh) - 0x7B7B7B7B7B7B7B7Bull) & kHigh;
      if ((zero | lower | (w & kHigh)) != 0) break;
    }
  }
  for (; i < text.size(); ++i) {
    uint8_t& c = text[i];
    if (c == 0) break;
    c = kUpper.map[c];
  }
}

namespace {

ReadStatus StatusOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP: return ReadStatus::Missing;
    case EACCES:
    case EPERM: return ReadStatus::Denied;
    case EISDIR:
    case ENXIO: return ReadStatus::NotRegular;
    default: return ReadStatus::Failed;
  }
}

// Opens for reading only. O_NONBLOCK: opening a FIFO must not wait for a
// writer (the file is refused as not regular right after).
int OpenForReading(const std::string& host) {
  return ::open(host.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

}  // namespace

FileReadResult PosixServices::ReadWholeFile(const char* path, std::span<uint8_t> buf,
                                            uint32_t limit, ReadMode mode) {
  FileReadResult r;
  const std::string host = ResolveHostPath(path);
  int fd = OpenForReading(host);
  int error = fd < 0 ? errno : 0;
  if (fd < 0 && error == ENOENT && mode == ReadMode::CreateMissing) {
    // O_EXCL with O_CREAT never follows a symbolic link: a link to nothing
    // stays a link to nothing.
    int created = ::open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (created >= 0) {  // otherwise it stays missing (a link to nothing, no folder)
      ::close(created);
      fd = OpenForReading(host);
      error = fd < 0 ? errno : 0;
    }
  }
  if (fd < 0) {
    r.status = StatusOf(error);
    return r;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    r.status = ReadStatus::NotRegular;
    return r;
  }
  r.opened = true;
  r.fileSize = static_cast<uint64_t>(st.st_size);
  r.identity = Identify(host, IdentityOf(st));
  const size_t want = std::min<size_t>(limit, buf.size());
  size_t got = 0;
  bool failed = false;
  while (got < want) {
    ssize_t n = ::read(fd, buf.data() + got, want - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed = true;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  r.bytesRead = static_cast<uint32_t>(got);
  // Short of both the limit and the size it had when opened: the read was
  // not the whole file.
  if (failed || (got < want && got < r.fileSize)) {
    r.status = ReadStatus::Failed;
  } else {
    r.status = ReadStatus::Ok;
  }
  return r;
}

FileIdentity IdentityOf(const struct stat& st) {
  return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

bool PosixServices::SameFile(const char* a, const char* b) {
  if (a == nullptr || b == nullptr || a[0] == 0 || b[0] == 0) return false;
  struct stat sa, sb;
  if (::stat(ResolveHostPath(a).c_str(), &sa) != 0) return false;
  if (::stat(ResolveHostPath(b).c_str(), &sb) != 0) return false;
  return IdentityOf(sa) == IdentityOf(sb);
}

namespace {

WriteStatus WriteStatusOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return WriteStatus::NoFolder;
    case EACCES:
    case EPERM:
    case EROFS: return WriteStatus::Denied;
    case EISDIR: return WriteStatus::Folder;
    default: return WriteStatus::Failed;
  }
}

// Writes all of data to fd; the bytes written.
size_t WriteAll(int fd, std::span<const uint8_t> data, bool* failed) {
  size_t done = 0;
  *failed = false;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *failed = true;
      break;
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

// A character device (a terminal, /dev/null) is written as itself: never
// created, truncated, replaced or followed through a link.
FileWriteResult WriteDevice(const std::string& host, std::span<const uint8_t> data) {
  FileWriteResult w;
  int fd = ::open(host.c_str(), O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    w.status = WriteStatusOf(errno);
    return w;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
    ::close(fd);
    w.status = WriteStatus::Special;
    return w;
  }
  bool failed = false;
  w.bytesWritten = static_cast<uint32_t>(WriteAll(fd, data, &failed));
  const bool closed = ::close(fd) == 0;
  w.status = !failed && closed ? WriteStatus::Ok : WriteStatus::Failed;
  return w;
}

// A new file beside host (same folder, so a rename moves it into place),
// created exclusively; -1 and errno when none could be made.
int CreateBeside(const std::string& host, std::string* temp) {
  static unsigned counter = 0;
  const size_t slash = host.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "" : host.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? host : host.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp = dir;
    *temp += '.';
    *temp += name;
    *temp += '.';
    *temp += std::to_string(::getpid());
    *temp += '-';
    *temp += std::to_string(++counter);
    *temp += ".part";
    int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

}  // namespace

FileWriteResult PosixServices::WriteWholeFile(const char* path, std::span<const uint8_t> data,
                                              const FileIdentity& keep) {
  FileWriteResult w;
  if (path == nullptr || path[0] == 0) {
    w.status = WriteStatus::BadName;
    return w;
  }
  const std::string host = ResolveHostPath(path);
  struct stat old;
  const bool exists = ::lstat(host.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) {
    w.status = WriteStatusOf(errno);
    return w;
  }
  if (exists) {
    if (S_ISLNK(old.st_mode))
      w.status = WriteStatus::Link;
    else if (S_ISDIR(old.st_mode))
      w.status = WriteStatus::Folder;
    else if (S_ISCHR(old.st_mode))
      return WriteDevice(host, data);
    else if (!S_ISREG(old.st_mode))
      w.status = WriteStatus::Special;
    else if (keep.known() && Identify(host, IdentityOf(old)) == keep)
      w.status = WriteStatus::IsSource;
    else
      w.status = WriteStatus::Ok;
    if (w.status != WriteStatus::Ok) return w;
  }
  std::string temp;
  int fd = CreateBeside(host, &temp);
  if (fd < 0) {
    w.status = WriteStatusOf(errno);
    return w;
  }
  // The new file keeps the permissions of the one it replaces.
  if (exists) ::fchmod(fd, old.st_mode & 07777);
  bool failed = false;
  w.bytesWritten = static_cast<uint32_t>(WriteAll(fd, data, &failed));
  failed = failed || ::fsync(fd) != 0;
  failed = (::close(fd) != 0) || failed;
  if (failed || ::rename(temp.c_str(), host.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    w.status = failed ? WriteStatus::Failed : WriteStatusOf(error);
    if (w.status == WriteStatus::NoFolder) w.status = WriteStatus::Failed;
    return w;
  }
  w.status = WriteStatus::Ok;
  return w;
}

bool PosixServices::DeleteFile(const char* path) {
  if (path == nullptr || path[0] == 0) return false;
  const std::string host = ResolveHostPath(path);
  struct stat st;
  // Only a regular file: never a folder, a link, a FIFO or a device.
  if (::lstat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return ::unlink(host.c_str()) == 0;
}

bool PosixServices::FileExists(const char* path) {
  if (path == nullptr || path[0] == 0) return false;
  return Exists(ResolveHostPath(path));
}

void* PosixServices::AllocateZeroedBlock(size_t size) {
  constexpr size_t kHuge = size_t(2) << 20;
  if (size == 0) return nullptr;
  // Whole 2 MiB pages, and room to start them on a 2 MiB boundary.
  const size_t pages = (size + kHuge - 1) / kHuge * kHuge;
  const size_t length = pages + kHuge;
  void* base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) return nullptr;
  const uintptr_t start = (reinterpret_cast<uintptr_t>(base) + kHuge - 1) & ~(kHuge - 1);
  void* block = reinterpret_cast<void*>(start);
#ifdef MADV_HUGEPAGE
  madvise(block, pages, MADV_HUGEPAGE);  // advice only: without it, 4 KiB pages
#endif
  mappings_.push_back({base, length, block});
  return block;
}

void PosixServices::ReleaseBlock(void* block) {
  for (size_t i = 0; i < mappings_.size(); ++i) {
    if (mappings_[i].block != block) continue;
    munmap(mappings_[i].base, mappings_[i].length);
    mappings_.erase(mappings_.begin() + static_cast<std::ptrdiff_t>(i));
    return;
  }
}

}  // namespace quorix
