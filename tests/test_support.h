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
  bool failWrites = false;

  FileReadResult ReadWholeFile(const char* path, std::span<uint8_t> buf, uint32_t limit) override {
    FileReadResult r;
    const std::string& f = files[path];  // reading creates a missing file
    r.opened = true;
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
  bool FileExists(const char* path) override { return files.count(path) > 0; }
};

using MemoryPlatform = WithMemoryFiles<PosixTestPlatform>;

inline std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

}  // namespace quorix::testing_support
