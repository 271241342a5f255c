// Helpers shared by the unit tests.
#pragma once

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#ifdef _WIN32
#include "platform/win32/offscreen_platform.h"
#else
#include "platform/posix/console_platform.h"
#endif

namespace quorix::testing_support {

// The real files and upper-casing of the system; the window side is inert.
#ifdef _WIN32
using PosixTestPlatform = win32::ConsolePlatform;
#else
using PosixTestPlatform = ConsolePlatform;
#endif

// Any platform, with its files kept in memory instead.
template <class Base>
class WithMemoryFiles : public Base {
 public:
  std::map<std::string, std::string> files;
  // Paths that exist but read with the given failure (a folder, no
  // permission, ...).
  std::map<std::string, ReadStatus> unreadable;
  bool failWrites = false;

  FileReadResult ReadWholeFile(const char* path, std::span<uint8_t> buf, uint32_t limit,
                               ReadMode mode) override {
    FileReadResult r;
    if (auto u = unreadable.find(path); u != unreadable.end()) {
      r.status = u->second;
      return r;
    }
    if (files.count(path) == 0 && mode == ReadMode::Existing) return r;
    const std::string& f = files[path];  // CreateMissing: an empty file
    r.opened = true;
    r.status = ReadStatus::Ok;
    r.fileSize = f.size();
    r.bytesRead = static_cast<uint32_t>(std::min<size_t>({f.size(), size_t(limit), buf.size()}));
    std::memcpy(buf.data(), f.data(), r.bytesRead);
    return r;
  }
  uint32_t WriteWholeFile(const char* path, std::span<const uint8_t> data, bool& ok) override {
    ok = !failWrites;
    if (failWrites) return 0;
    files[path] = std::string(data.begin(), data.end());
    return static_cast<uint32_t>(data.size());
  }
  bool DeleteFile(const char* path) override { return files.erase(path) > 0; }
  bool FileExists(const char* path) override {
    return files.count(path) > 0 || unreadable.count(path) > 0;
  }
  // Names that differ only in ASCII case or in '/' for '\\' are one file,
  // as the real file layer resolves them.
  bool SameFile(const char* a, const char* b) override {
    auto fold = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c == '/' ? '\\' : c; };
    std::string x(a), y(b);
    std::transform(x.begin(), x.end(), x.begin(), fold);
    std::transform(y.begin(), y.end(), y.begin(), fold);
    if (x != y) return false;
    for (const auto& [path, text] : files) {
      std::string p(path);
      std::transform(p.begin(), p.end(), p.begin(), fold);
      if (p == x) return true;
    }
    return false;
  }
};

using MemoryPlatform = WithMemoryFiles<PosixTestPlatform>;

inline std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

}  // namespace quorix::testing_support
