#include "file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace nuvedo {

namespace {

IoStatus Failure(const std::string& what, const std::string& path, int err) {
  return IoStatus{what + " " + path + ": " + std::strerror(err)};
}

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t DefaultNewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

std::string MakeAbsolute(std::string_view arg, std::string_view cwd) {
  if (!arg.empty() && arg.front() == '/') return std::string(arg);
  std::string out(cwd);
  if (out.empty() || out.back() != '/') out += '/';
  out += arg;
  return out;
}

ResolvedPath ResolveFile(std::string_view arg, std::string_view cwd) {
  ResolvedPath r;
  if (arg.empty()) {
    r.status.error = "empty file name";
    return r;
  }
  const std::string abs = MakeAbsolute(arg, cwd);
  struct stat st {};
  if (::stat(abs.c_str(), &st) != 0) {
    if (errno != ENOENT) {
      r.status = Failure("cannot access", abs, errno);
      return r;
    }
    const int fd = ::open(abs.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      r.status = Failure("cannot create", abs, errno);
      return r;
    }
    ::close(fd);
    r.created = true;
    if (::stat(abs.c_str(), &st) != 0) {
      r.status = Failure("cannot access", abs, errno);
      return r;
    }
  }
  if (!S_ISREG(st.st_mode)) {
    r.status.error = abs + " is not a regular file";
    return r;
  }
  char* real = ::realpath(abs.c_str(), nullptr);
  if (real == nullptr) {
    r.status = Failure("cannot resolve", abs, errno);
    return r;
  }
  r.path = real;
  std::free(real);
  return r;
}

IoStatus ReadFile(const std::string& path, std::string& out) {
  out.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Failure("cannot open", path, errno);
  std::vector<char> chunk(1 << 16);
  for (;;) {
    const ssize_t n = ::read(fd, chunk.data(), chunk.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      out.clear();
      return Failure("cannot read", path, err);
    }
    out.append(chunk.data(), static_cast<std::size_t>(n));
  }
  ::close(fd);
  return {};
}

IoStatus WriteFileAtomically(const std::string& path, std::string_view bytes) {
  // Replacing the file through its directory would get around the file's
  // own write protection; a read-only file stays unsaved instead.
  if (::access(path.c_str(), F_OK) == 0 && ::access(path.c_str(), W_OK) != 0) {
    return Failure("cannot write", path, errno);
  }
  const std::string dir = DirectoryOf(path);
  std::string tmpl = dir + (dir == "/" ? "." : "/.") + BaseNameOf(path) + ".nuvedo-XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return Failure("cannot create a temporary file in", dir, errno);
  const std::string tmp(name.data());

  const auto abandon = [&](const std::string& what, int err) {
    ::close(fd);
    ::unlink(tmp.c_str());
    return Failure(what, tmp, err);
  };

  struct stat st {};
  const mode_t mode = ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : DefaultNewFileMode();
  if (::fchmod(fd, mode) != 0) return abandon("cannot set the permissions of", errno);

  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return abandon("cannot write", errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) return abandon("cannot flush", errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    return Failure("cannot close", tmp, err);
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    return Failure("cannot replace", path, err);
  }
  // Make the rename itself durable; failing here does not lose data.
  const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return {};
}

}  // namespace nuvedo
