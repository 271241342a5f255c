// The editor's files, byte for byte: what is read is what the edit control
// shows, and what is saved is exactly the control's bytes (CR LF line ends,
// Windows-1252 text, no conversion either way).
#pragma once

#include <optional>
#include <string>

namespace nuvedo {

enum class OpenResult { Opened, Missing, Failed, NotText };

// Reads the whole file; never creates one (Missing: no file of that name,
// error says so). NotText when it holds a zero byte (the edit control would
// cut the text there, and a save would lose the rest). A reserved device
// name fails without being opened.
OpenResult OpenFile(const std::string& path, std::string& bytes, std::string& error);

// Creates the empty file the user asked for; false (error set) when it
// exists already or cannot be made.
bool CreateEmptyFile(const std::string& path, std::string& error);

// Writes bytes to a new file beside path and only then puts it in path's
// place, so a save that fails leaves the old file as it was. False with
// error set on failure; a reserved device name is refused before anything is
// written.
bool SaveFile(const std::string& path, const std::string& bytes, std::string& error);

// True when the path's last part is a name Windows keeps for a device (NUL,
// CON, PRN, AUX, COM1-9, LPT1-9, CONIN$, CONOUT$; with any extension or
// trailing blanks, in any case, e.g. "nul.asm") or the path is in the device
// namespace ("\\.\..."): opening such a name reaches the device, not a file.
bool IsReservedDeviceName(const std::string& path);

// The line ends of a text. The control keeps one mark per line end, so a
// text is shown only when all its line ends are alike (None: it has none;
// new lines then end in CR LF, as the workbench reads them).
enum class LineEnds { None, CrLf, Lf, Cr, Mixed };
LineEnds LineEndsOf(const std::string& bytes);
// The text as the control holds it (every line end one CR), and back.
std::wstring ToControl(const std::wstring& text);
std::wstring FromControl(const std::wstring& text, LineEnds ends);

// Windows-1252 bytes as UTF-16 for the edit control, and back. The five bytes
// the code page leaves undefined stand for the control characters of the same
// value, so every byte comes back as it was. Encode1252 returns false (and
// the position of the first one in *bad) when the text holds a character the
// code page cannot hold.
std::wstring Decode1252(const std::string& bytes);
bool Encode1252(const std::wstring& text, std::string& bytes, size_t* bad);

// The full path of a file name (GetFullPathNameA); the name itself when it
// cannot be made full.
std::string FullPath(const std::string& path);

// The folder of the running program, with a trailing '\'.
std::string ProgramFolder();

// Window placement, in screen pixels.
struct Box {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  friend bool operator==(const Box&, const Box&) = default;
};
// Where a new editor window of the given size goes inside the work area:
// cascaded (step down and right, back to the work area's corner when it
// would leave it) from another editor's window when there is one; else
// beside the workbench's window, on its right or else its left, when the
// room there is at least minWidth (the window narrows to the room); else
// cascaded from the workbench. Nothing (the system's default place) when
// neither window is there.
std::optional<Box> PlaceEditor(const Box* editor, const Box* workbench, int width, int height,
                               int minWidth, const Box& workArea, int step);

}  // namespace nuvedo
