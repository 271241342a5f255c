// What the portable core needs from the operating system, and nothing more.
// Backends (headless, x11, win32) implement it; the core never includes a
// native header. The core speaks in the workbench's own message codes, which
// are the values of the matching Win32 messages, so the Win32 backend can pass
// messages through unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace quorix {

// Message codes.
inline constexpr uint32_t MsgNull = 0x0000;  // neutral: any event without a meaning here
inline constexpr uint32_t MsgCreate = 0x0001;
inline constexpr uint32_t MsgDestroy = 0x0002;
inline constexpr uint32_t MsgClose = 0x0010;
inline constexpr uint32_t MsgChar = 0x0102;  // a typed character: wParam is its code
inline constexpr uint32_t MsgCommand = 0x0111;
inline constexpr uint32_t MsgTimer = 0x0113;
inline constexpr uint32_t MsgMouseMove = 0x0200;
inline constexpr uint32_t MsgLButtonDown = 0x0201;
inline constexpr uint32_t MsgLButtonUp = 0x0202;

// Pointer position packed into lParam: x in the low 16 bits, y in the high 16.
inline constexpr uint32_t PackPoint(uint32_t x, uint32_t y) {
  return (x & 0xFFFF) | ((y & 0xFFFF) << 16);
}

struct Rgb {
  uint8_t r, g, b;
  friend constexpr bool operator==(Rgb, Rgb) = default;
};

// An off-screen raster with GDI semantics: a rectangle from (l, t) to (r, b)
// covers l..r-1 and t..b-1; the 1-pixel pen frames it inside those bounds and
// the selected brush fills it. No anti-aliasing. Objects are created once and
// then only selected.
class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Object handles are small non-zero numbers, valid for the canvas' life.
  virtual uint32_t CreateSolidBrush(Rgb color) = 0;
  virtual uint32_t CreatePen(Rgb color) = 0;  // solid, width 1
  virtual uint32_t StockBlackBrush() = 0;
  virtual uint32_t DefaultPen() = 0;  // the context's initial pen (black)
  virtual uint32_t CreateViewFont() = 0;
  virtual void Select(uint32_t object) = 0;
  virtual void Rectangle(int l, int t, int r, int b) = 0;
  virtual void RoundRect(int l, int t, int r, int b, int ew, int eh) = 0;
  virtual void Ellipse(int l, int t, int r, int b) = 0;
  virtual void SetTextColor(Rgb color) = 0;
  virtual void SetBackgroundTransparent() = 0;
  // Draws n bytes of 8-bit (Windows-1252) text with its top-left at (x, y).
  virtual void TextOut(int x, int y, const char* text, int n) = 0;
};

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

struct FileReadResult {
  bool opened = false;  // a regular file was opened
  ReadStatus status = ReadStatus::Missing;
  uint32_t bytesRead = 0;
  uint64_t fileSize = 0;  // whole size of the file, may exceed bytesRead
};

class Platform {
 public:
  virtual ~Platform() = default;

  // ---- files. Paths are the workbench's own ('\' separators allowed). ----
  // Reads at most limit bytes of a regular file into buf (never more than
  // buf.size()). With CreateMissing an empty file is created first when none
  // exists under the path (not when the path is a link to nothing).
  virtual FileReadResult ReadWholeFile(const char* path, std::span<uint8_t> buf,
                                       uint32_t limit, ReadMode mode) = 0;
  // Creates or truncates the file and writes all of data. Returns the number
  // of bytes written; ok is true only when the file was created and every
  // byte reached it.
  virtual uint32_t WriteWholeFile(const char* path, std::span<const uint8_t> data, bool& ok) = 0;
  virtual bool DeleteFile(const char* path) = 0;
  virtual bool FileExists(const char* path) = 0;
  // True when both paths name one existing file (the same file, however
  // spelt: other case, other folder route, a link), as the file system
  // identifies it.
  virtual bool SameFile(const char* a, const char* b) = 0;

  // ---- memory ----
  // One zero-filled block of size bytes that stays in place until released;
  // null when there is none to give.
  virtual void* AllocateZeroedBlock(size_t size) { return std::calloc(size, 1); }
  virtual void ReleaseBlock(void* block) { std::free(block); }

  // ---- text ----
  // Upper-cases the NUL-terminated text in place (at most text.size() bytes).
  virtual void UpperCase(std::span<uint8_t> text) = 0;

  // ---- other programs' windows ----
  // Finds a top-level window of the given class; on success copies its title
  // (at most cap-1 bytes, NUL-terminated) into title and returns true.
  virtual bool FindWindowTitle(const char* windowClass, char* title, size_t cap) = 0;

  // ---- the workbench window ----
  // The back buffer, created on demand with the given size.
  virtual Canvas* CreateBackBuffer(int width, int height) = 0;
  virtual void ReleaseBackBuffer() = 0;
  // Copies the back buffer to the window at (x, y).
  virtual void Present(int x, int y) = 0;
  virtual void PostQuit(int code) = 0;
  virtual void StartTimer(uint32_t periodMs) = 0;
  virtual void StopTimer() = 0;
  // Opaque handles shown by the variables panel.
  virtual uint32_t WindowHandle() { return 0; }
  virtual uint32_t DeviceContextHandle() { return 0; }
};

}  // namespace quorix
