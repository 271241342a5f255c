// quorix-replay: drives the workbench on the headless backend from a script
// (a file, or standard input when none is given or the name is "-") and
// writes pictures. See replay.h for the commands.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "apps/quorix-replay/replay.h"
#include "engine/machines.h"

int main(int argc, char** argv) {
  // --line-stepper: run without the emulator, as a build without one does,
  // so its pictures can be compared with that build's.
  bool withEngine = true;
  if (argc > 1 && std::string(argv[1]) == "--line-stepper") {
    withEngine = false;
    --argc;
    ++argv;
  }
  if (argc > 2) {
    std::fprintf(stderr, "usage: %s [--line-stepper] [SCRIPT]\n", argv[0]);
    return 2;
  }
  std::ifstream file;
  std::istream* in = &std::cin;
  std::string name = argc == 2 ? argv[1] : "-";
  if (name != "-") {
    file.open(name);
    if (!file) {
      std::fprintf(stderr, "%s: cannot open %s\n", argv[0], name.c_str());
      return 2;
    }
    in = &file;
  }
  quorix::HeadlessPlatform platform;
  quorix::ReplaySession session(
      platform, withEngine ? quorix::DefaultMachineFactory() : quorix::MachineFactory{});
  std::string error;
  int line = 0;
  if (!session.Run(*in, std::cout, &error, &line)) {
    std::fprintf(stderr, "%s:%d: %s\n", name.c_str(), line, error.c_str());
    return 1;
  }
  if (platform.quitPosted())
    std::fprintf(stderr, "quit posted with code %d\n", platform.exitCode());
  return 0;
}
