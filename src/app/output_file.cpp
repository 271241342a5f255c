#include "app/output_file.h"

namespace quorix {

std::string OutputNameFor(const char* sourcePath, size_t capacity) {
  std::string path(sourcePath ? sourcePath : "");
  size_t nameStart = path.find_last_of("\\/");
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  size_t dot = path.find('.', nameStart);
  std::string out = (dot == std::string::npos ? path : path.substr(0, dot)) + ".com";
  if (path.empty() || nameStart == path.size() || out.size() + 1 > capacity) return {};
  return out;
}

OutputWrite WriteOutputFile(Services& services, const std::string& sourcePath,
                            const FileIdentity& source, const char* outputPath,
                            std::span<const uint8_t> bytes) {
  OutputWrite w;
  w.path = outputPath ? std::string(outputPath) : OutputNameFor(sourcePath.c_str());
  if (w.path.empty()) {
    w.error = "the output name does not fit its buffer";
  } else if (services.SameFile(w.path.c_str(), sourcePath.c_str())) {
    // However it is spelt, the output must not be the source itself.
    w.error = DescribeWriteStatus(WriteStatus::IsSource);
  } else {
    // Written beside the old output and moved over it: nothing is deleted
    // first, so a refused or failed write leaves the old output as it was.
    const FileWriteResult r = services.WriteWholeFile(w.path.c_str(), bytes, source);
    if (r.ok() && r.bytesWritten == bytes.size())
      w.ok = true;
    else
      w.error = DescribeWriteStatus(r.ok() ? WriteStatus::Failed : r.status);
  }
  return w;
}

const char* DescribeWriteStatus(WriteStatus status) {
  switch (status) {
    case WriteStatus::Ok: return "written";
    case WriteStatus::IsSource: return "the output would overwrite the source";
    case WriteStatus::Folder: return "a folder has that name";
    case WriteStatus::Link: return "a symbolic link has that name, and links are not replaced";
    case WriteStatus::Special:
      return "it names a device, a FIFO or another special file, which is never replaced";
    case WriteStatus::NoFolder: return "its folder does not exist";
    case WriteStatus::Denied: return "permission denied";
    case WriteStatus::BadName: return "it is no file name";
    case WriteStatus::Failed: break;
  }
  return "the output file could not be written";
}

}  // namespace quorix
