// File-system side of nuvedo: resolving the path given on the command line,
// reading a file, and replacing it safely on save. POSIX only, no GTK.
#pragma once

#include <string>
#include <string_view>

namespace nuvedo {

// Outcome of an operation that can fail: empty error means success.
struct IoStatus {
  std::string error;
  bool Ok() const { return error.empty(); }
};

// Absolute form of `arg`: relative paths are taken from `cwd`. Purely
// textual; "." and ".." stay as they are.
std::string MakeAbsolute(std::string_view arg, std::string_view cwd);

// Resolves the file to edit: makes `arg` absolute against `cwd`, creates the
// file empty when it does not exist (the directory must exist), checks that it
// is a regular file and returns its canonical path (symbolic links resolved,
// so saving replaces the link's target, not the link).
struct ResolvedPath {
  std::string path;
  bool created = false;
  IoStatus status;
};
ResolvedPath ResolveFile(std::string_view arg, std::string_view cwd);

IoStatus ReadFile(const std::string& path, std::string& out);

// Writes `bytes` to a temporary file in the same directory, flushes it to
// disk and renames it over `path`. The original is untouched when anything
// fails; the temporary file is removed. An existing file keeps its
// permission bits; one the user may not write is refused.
IoStatus WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace nuvedo
