// Writing an assembled program as a flat .com file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/services.h"

namespace quorix {

// The output name: the source path up to the first '.' of its file name,
// then ".com"; ".com" appended when the name has no '.'. Empty when the
// result would not fit `capacity` bytes with its NUL.
std::string OutputNameFor(const char* sourcePath, size_t capacity = 512);

struct OutputWrite {
  bool ok = false;
  std::string path;   // the file written, or that could not be written
  std::string error;  // why not
};

// Writes bytes to outputPath, or, when it is null, to the name formed from
// sourcePath, all or nothing (Services::WriteWholeFile). The source is never
// touched: refused are the file this compile read (`source`, its identity
// taken at that read) and the file now at sourcePath, under any name; no
// other file that was read earlier counts.
OutputWrite WriteOutputFile(Services& services, const std::string& sourcePath,
                            const FileIdentity& source, const char* outputPath,
                            std::span<const uint8_t> bytes);

// Why a write was refused or failed, in a user's words.
const char* DescribeWriteStatus(WriteStatus status);

}  // namespace quorix
