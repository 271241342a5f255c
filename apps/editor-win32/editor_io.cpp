#include "editor_io.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace nuvedo {

namespace {

std::string LastError() {
  DWORD code = ::GetLastError();
  char buf[256] = {};
  DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, buf, sizeof buf, nullptr);
  while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r' || buf[n - 1] == ' ')) buf[--n] = 0;
  return n > 0 ? std::string(buf) : "error " + std::to_string(code);
}

}  // namespace

OpenResult OpenFile(const std::string& path, std::string& bytes, std::string& error) {
  bytes.clear();
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = LastError();
    return OpenResult::Failed;
  }
  const bool created = ::GetLastError() != ERROR_ALREADY_EXISTS;
  LARGE_INTEGER size{};
  if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileSizeEx(h, &size) ||
      size.QuadPart > 64 * 1024 * 1024) {
    error = "not a text file that can be edited here";
    ::CloseHandle(h);
    return OpenResult::Failed;
  }
  bytes.resize(static_cast<size_t>(size.QuadPart));
  size_t got = 0;
  while (got < bytes.size()) {
    DWORD n = 0;
    if (!::ReadFile(h, bytes.data() + got, static_cast<DWORD>(bytes.size() - got), &n, nullptr) ||
        n == 0)
      break;
    got += n;
  }
  ::CloseHandle(h);
  if (got != bytes.size()) {
    error = "the file could not be read whole";
    bytes.clear();
    return OpenResult::Failed;
  }
  if (std::memchr(bytes.data(), 0, bytes.size()) != nullptr) {
    error = "the file holds zero bytes; it is not a text";
    bytes.clear();
    return OpenResult::NotText;
  }
  return created ? OpenResult::Created : OpenResult::Opened;
}

bool SaveFile(const std::string& path, const std::string& bytes, std::string& error) {
  const std::string temp = path + ".nuvedo-save";
  HANDLE h = ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = LastError();
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    if (!::WriteFile(h, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n,
                     nullptr) ||
        n == 0)
      break;
    done += n;
  }
  bool ok = done == bytes.size();
  if (!ok) error = LastError();
  if (ok && !::FlushFileBuffers(h)) {
    error = LastError();
    ok = false;
  }
  if (!::CloseHandle(h) && ok) {
    error = LastError();
    ok = false;
  }
  if (ok && !::MoveFileExA(temp.c_str(), path.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = LastError();
    ok = false;
  }
  if (!ok) ::DeleteFileA(temp.c_str());
  return ok;
}

namespace {
constexpr wchar_t k80[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                             0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                             0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                             0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}  // namespace

std::wstring Decode1252(const std::string& bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) out += (c >= 0x80 && c < 0xA0) ? k80[c - 0x80] : wchar_t(c);
  return out;
}

bool Encode1252(const std::wstring& text, std::string& bytes, size_t* bad) {
  bytes.clear();
  bytes.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t w = text[i];
    int byte = -1;
    if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) {
      byte = w;
    } else {
      for (int k = 0; k < 32; ++k)
        if (k80[k] == w) byte = 0x80 + k;
    }
    if (byte < 0) {
      if (bad) *bad = i;
      bytes.clear();
      return false;
    }
    bytes += static_cast<char>(byte);
  }
  return true;
}

std::string FullPath(const std::string& path) {
  char buf[MAX_PATH * 4];
  DWORD n = ::GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  if (n == 0 || n >= sizeof buf) return path;
  return std::string(buf, n);
}

std::string ProgramFolder() {
  char buf[MAX_PATH * 4];
  DWORD n = ::GetModuleFileNameA(nullptr, buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return ".\\";
  std::string p(buf, n);
  size_t slash = p.find_last_of("\\/");
  return slash == std::string::npos ? ".\\" : p.substr(0, slash + 1);
}

}  // namespace nuvedo
