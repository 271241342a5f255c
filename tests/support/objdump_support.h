// The system disassembler's reading of encoded bytes, for the encoding tests.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace quorix::testing_support {

// objdump's Intel-syntax text for the bytes given as "8B 07 ...", the
// instructions separated by ';' and blanks collapsed.
inline std::string Disassemble(const std::string& hex, int bits) {
  char path[] = "/tmp/quorix-objdump-XXXXXX";
  int fd = mkstemp(path);
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 3)
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) return "?";
  close(fd);
  std::string cmd = std::string("objdump -D -b binary -m ") + (bits == 32 ? "i386" : "i8086") +
                    " -M intel " + path + " 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out, line;
  bool body = false;
  char buf[512];
  while (fgets(buf, sizeof buf, p)) {
    line = buf;
    if (line.find("<.data>:") != std::string::npos) {
      body = true;
      continue;
    }
    if (!body) continue;
    size_t t1 = line.find('\t');
    size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    if (t2 == std::string::npos) continue;
    std::string ins = line.substr(t2 + 1);
    std::string norm;
    for (char c : ins) {
      if (c == '\n') break;
      if (c == ' ' && (norm.empty() || norm.back() == ' ')) continue;
      norm += c;
    }
    while (!norm.empty() && norm.back() == ' ') norm.pop_back();
    if (!out.empty()) out += ';';
    out += norm;
  }
  pclose(p);
  unlink(path);
  return out;
}

}  // namespace quorix::testing_support
