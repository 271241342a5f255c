#include "editor_io.h"

#include <windows.h>

#include <algorithm>
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

constexpr char kDeviceRefusal[] =
    "the name is one Windows keeps for a device (such as NUL, CON, PRN, AUX, COM1 or LPT1, "
    "with any extension); choose another name";

}  // namespace

bool IsReservedDeviceName(const std::string& path) {
  if (path.rfind("\\\\.\\", 0) == 0 || path.rfind("//./", 0) == 0 ||
      path.rfind("\\\\?\\GLOBALROOT", 0) == 0)
    return true;
  const size_t slash = path.find_last_of("\\/:");
  std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  name = name.substr(0, name.find('.'));
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
  for (char& c : name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  if (name == "NUL" || name == "CON" || name == "PRN" || name == "AUX" || name == "CONIN$" ||
      name == "CONOUT$")
    return true;
  if (name.size() == 4 && (name.rfind("COM", 0) == 0 || name.rfind("LPT", 0) == 0)) {
    const unsigned char d = static_cast<unsigned char>(name[3]);
    // 1 to 9, and the superscript digits the system counts too.
    return (d >= '1' && d <= '9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
  }
  return false;
}

LineEnds LineEndsOf(const std::string& bytes) {
  bool crlf = false, lf = false, cr = false;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
      crlf = true;
      ++i;
    } else if (bytes[i] == '\r') {
      cr = true;
    } else if (bytes[i] == '\n') {
      lf = true;
    }
  }
  const int kinds = int(crlf) + int(lf) + int(cr);
  if (kinds > 1) return LineEnds::Mixed;
  return crlf ? LineEnds::CrLf : lf ? LineEnds::Lf : cr ? LineEnds::Cr : LineEnds::None;
}

std::wstring ToControl(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
    out += text[i] == L'\n' ? L'\r' : text[i];
  }
  return out;
}

std::wstring FromControl(const std::wstring& text, LineEnds ends) {
  const wchar_t* mark = ends == LineEnds::Lf ? L"\n" : ends == LineEnds::Cr ? L"\r" : L"\r\n";
  std::wstring out;
  out.reserve(text.size() + text.size() / 16);
  for (wchar_t c : text) {
    if (c == L'\r')
      out += mark;
    else
      out += c;
  }
  return out;
}

OpenResult OpenFile(const std::string& path, std::string& bytes, std::string& error) {
  bytes.clear();
  if (IsReservedDeviceName(path)) {
    error = kDeviceRefusal;
    return OpenResult::Failed;
  }
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    error = LastError();
    return code == ERROR_FILE_NOT_FOUND ? OpenResult::Missing : OpenResult::Failed;
  }
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
    error = "the file contains NUL (zero) bytes; it is not a text";
    bytes.clear();
    return OpenResult::NotText;
  }
  return OpenResult::Opened;
}

bool CreateEmptyFile(const std::string& path, std::string& error) {
  if (IsReservedDeviceName(path)) {
    error = kDeviceRefusal;
    return false;
  }
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = LastError();
    return false;
  }
  ::CloseHandle(h);
  return true;
}

bool SaveFile(const std::string& path, const std::string& bytes, std::string& error) {
  if (IsReservedDeviceName(path)) {
    error = kDeviceRefusal;
    return false;
  }
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

namespace {

Box Cascade(const Box& from, int width, int height, const Box& area, int step) {
  Box b{from.left + step, from.top + step, from.left + step + width, from.top + step + height};
  if (b.right > area.right) b = {area.left, b.top, area.left + width, b.bottom};
  if (b.bottom > area.bottom) b = {b.left, area.top, b.right, area.top + height};
  return b;
}

}  // namespace

std::optional<Box> PlaceEditor(const Box* editor, const Box* workbench, int width, int height,
                               int minWidth, const Box& area, int step) {
  height = std::min(height, area.Height());
  width = std::min(width, area.Width());
  if (editor != nullptr) return Cascade(*editor, width, height, area, step);
  if (workbench == nullptr) return std::nullopt;
  const int top = std::max(area.top, std::min(workbench->top, area.bottom - height));
  const int right = area.right - workbench->right;
  if (right >= minWidth) {
    const int w = std::min(width, right);
    return Box{workbench->right, top, workbench->right + w, top + height};
  }
  const int left = workbench->left - area.left;
  if (left >= minWidth) {
    const int w = std::min(width, left);
    return Box{workbench->left - w, top, workbench->left, top + height};
  }
  return Cascade(*workbench, width, height, area, step);
}

}  // namespace nuvedo
