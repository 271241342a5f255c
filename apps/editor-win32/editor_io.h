// The editor's files, byte for byte: what is read is what the edit control
// shows, and what is saved is exactly the control's bytes (CR LF line ends,
// Windows-1252 text, no conversion either way).
#pragma once

#include <string>

namespace nuvedo {

enum class OpenResult { Opened, Created, Failed, NotText };

// Reads the whole file, creating an empty one when it is missing. NotText
// when it holds a zero byte (the edit control would cut the text there, and
// a save would lose the rest).
OpenResult OpenFile(const std::string& path, std::string& bytes, std::string& error);

// Writes bytes to a new file beside path and only then puts it in path's
// place, so a save that fails leaves the old file as it was. False with
// error set on failure.
bool SaveFile(const std::string& path, const std::string& bytes, std::string& error);

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

}  // namespace nuvedo
