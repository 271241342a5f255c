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
                            const char* outputPath, std::span<const uint8_t> bytes) {
  OutputWrite w;
  w.path = outputPath ? std::string(outputPath) : OutputNameFor(sourcePath.c_str());
  if (w.path.empty()) {
    w.error = "the output name does not fit its buffer";
  } else if (services.SameFile(w.path.c_str(), sourcePath.c_str())) {
    // However it is spelt, the output must not be the source itself.
    w.error = "the output would overwrite the source";
  } else {
    if (services.FileExists(w.path.c_str())) services.DeleteFile(w.path.c_str());
    bool ok = false;
    const uint32_t written = services.WriteWholeFile(w.path.c_str(), bytes, ok);
    if (!ok || written != bytes.size())
      w.error = "the output file could not be written";
    else
      w.ok = true;
  }
  return w;
}

}  // namespace quorix
