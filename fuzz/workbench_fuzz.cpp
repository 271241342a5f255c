// The headless workbench driven by a fuzzed script: loads from the editor's
// title, scrolling, compiles, the debug screen and its Run steps, the
// variables panel, reloads of changed sources and compiles again. The back
// buffer is a canvas that draws nothing but reads every byte it is handed.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include "app/workbench.h"
#include "fuzz_check.h"
#include "support/doubles.h"

using namespace quorix;

namespace {

class ReadingCanvas : public Canvas {
 public:
  int Width() const override { return 800; }
  int Height() const override { return 600; }
  uint32_t CreateSolidBrush(Rgb) override { return ++handles_; }
  uint32_t CreatePen(Rgb) override { return ++handles_; }
  uint32_t StockBlackBrush() override { return 1000; }
  uint32_t DefaultPen() override { return 1001; }
  uint32_t CreateViewFont() override { return ++handles_; }
  void Select(uint32_t) override {}
  void Rectangle(int, int, int, int) override {}
  void RoundRect(int, int, int, int, int, int) override {}
  void Ellipse(int, int, int, int) override {}
  void SetTextColor(Rgb) override {}
  void SetBackgroundTransparent() override {}
  void TextOut(int, int, const char* text, int n) override {
    FUZZ_CHECK(n >= 0 && n <= 1024);
    for (int i = 0; i < n; ++i) sink_ = sink_ + static_cast<uint8_t>(text[i]);
  }

 private:
  uint32_t handles_ = 1;
  volatile uint32_t sink_ = 0;
};

using FuzzPlatform = testing_support::EditorCanvasPlatform;

constexpr const char* kPaths[] = {"C:\\w\\P.ASM", "C:\\w\\Q.asm", "C:\\w\\noext"};
constexpr const char* kOutputs[] = {"C:\\w\\P.com", "C:\\w\\Q.com", "C:\\w\\noext.com"};

// One workbench for the whole run, created once: a fresh 8 MB workspace per
// input would cost more than the input itself. Every input starts from the
// record and registers as they were right after creation, and its first
// step loads its own texts, which clears what the previous input left.
struct Run {
  ReadingCanvas canvas;
  FuzzPlatform platform;
  Workbench wb{platform};
  ContextRecord created{};
  CpuState createdCpu{};
  std::map<std::string, std::string> sources;  // what the source files must hold

  Run() {
    platform.canvas = &canvas;
    wb.WindowProc(MsgCreate, 0, 0);
    created = wb.record();
    createdCpu = wb.cpu();
  }
  void Restart() {
    wb.record() = created;
    wb.cpu() = createdCpu;
    platform.editorRunning = true;
  }

  void Move(uint32_t x, uint32_t y) { wb.WindowProc(MsgMouseMove, 0, PackPoint(x, y)); }
  // A click acts in the step after the button went down (the step of the
  // release here), as clicks are levels.
  void Click(uint32_t x, uint32_t y) {
    Move(x, y);
    wb.WindowProc(MsgLButtonDown, 1, 0);
    wb.WindowProc(MsgLButtonUp, 0, 0);
    Move(5, 560);
  }
  uint32_t Record(uint32_t k, uint32_t field) {
    uint32_t v = 0;
    FUZZ_CHECK(wb.workspace().Read32(wb.record().lpASCIIResult + 8 * k + 4 * field, v));
    return v;
  }
  std::string CurrentOutput() {
    char path[512];
    wb.workspace().ReadCString(wb.record().lpSourceCodeFileName, path);
    for (int i = 0; i < 3; ++i)
      if (std::strcmp(path, kPaths[i]) == 0) return kOutputs[i];
    return {};
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  static Run* shared = new Run;
  Run& run = *shared;
  run.Restart();
  FuzzPlatform& p = run.platform;
  p.files[kOpcodePath] = in.ConsumeRandomLengthString(512);
  p.files[kPaths[0]] = in.ConsumeRandomLengthString(2048);
  for (auto& [path, text] : p.files) run.sources[path] = text;
  p.editorTitle = kPaths[0];
  run.wb.TimerTick(0);  // the start screen finds the editor and loads
  FUZZ_CHECK(run.wb.record().state == StateCompile);

  uint32_t lastCompileBytes = 0;
  for (int step = 0; step < 24 && in.remaining_bytes() > 0; ++step) {
    const uint32_t generation = run.wb.workspace().load().generation;
    switch (in.ConsumeIntegralInRange<int>(0, 8)) {
      case 0:  // "Load File"
        run.Click(20, 20);
        break;
      case 1: {  // the scroll buttons of the views
        static constexpr uint32_t kButtons[][2] = {{555, 20}, {555, 50}, {375, 20},
                                                   {375, 50}, {315, 20}, {315, 50}};
        const auto& b = kButtons[in.ConsumeIntegralInRange<int>(0, 5)];
        for (int i = in.ConsumeIntegralInRange<int>(1, 4); i > 0; --i) run.Click(b[0], b[1]);
        break;
      }
      case 2:  // "Compile" in the menu
        run.Click(20, 50);
        break;
      case 3: {  // the source view's Compile button
        // Only a press of the visible button compiles: not while the last
        // compile's result stands.
        const std::string out = run.CurrentOutput();
        const bool canCompile = run.wb.record().state == StateCompile &&
                                run.wb.record().state2 != Compiled &&
                                run.wb.record().state2 != CompileRequested;
        if (canCompile && !out.empty()) p.files.erase(out);
        run.Click(600, 25);
        const ContextRecord& r = run.wb.record();
        if (!canCompile) break;
        if (r.state2 == Compiled && !out.empty()) {
          FUZZ_CHECK(p.files.count(out) == 1);
          uint64_t total = 0;
          for (uint32_t k = 0; k + 1 < r.LineCountsForFile; ++k) {
            total += run.Record(k, 0);
          }
          FUZZ_CHECK(total == p.files[out].size());
          lastCompileBytes = static_cast<uint32_t>(total);
        } else if (r.state2 == CompileFailed) {
          FUZZ_CHECK(out.empty() || p.files.count(out) == 0);
          FUZZ_CHECK(r.state3 >= 1 && r.state3 < r.LineCountsForFile);
          lastCompileBytes = 2'000'000;  // unknown: whatever the failing pass wrote
        }
        break;
      }
      case 4:  // "Debug"
        run.Click(20, 80);
        break;
      case 5: {  // rest on Run for some ticks
        run.Move(200, 480);
        for (int i = in.ConsumeIntegralInRange<int>(1, 16); i > 0; --i) run.wb.TimerTick(0);
        run.Move(5, 560);
        break;
      }
      case 6:  // the variables panel
        run.Click(130, 300);
        break;
      case 7: {  // the editor saves another text, maybe under another name
        const int which = in.ConsumeIntegralInRange<int>(0, 2);
        p.editorTitle = kPaths[which];
        if (in.ConsumeBool()) {
          p.files[kPaths[which]] = in.ConsumeRandomLengthString(2048);
          run.sources[kPaths[which]] = p.files[kPaths[which]];
        }
        run.Click(20, 20);
        break;
      }
      case 8:  // the editor closes or opens
        p.editorRunning = !p.editorRunning;
        run.wb.TimerTick(0);
        break;
    }
    // A load leaves nothing of the previous compile behind.
    if (run.wb.workspace().load().generation != generation) {
      const ContextRecord& r = run.wb.record();
      for (uint32_t k = 0; k + 1 < r.LineCountsForFile && k < 4096; ++k)
        FUZZ_CHECK(run.Record(k, 0) == 0 && run.Record(k, 1) == 0);
      std::span<const uint8_t> out =
          run.wb.workspace().Resolve(r.lpMemHexResult, std::min<uint32_t>(lastCompileBytes, 65536));
      FUZZ_CHECK(out.data() != nullptr);
      for (uint8_t b : out) FUZZ_CHECK(b == 0);
      lastCompileBytes = 0;
    }
    // The sources are never changed, created or removed by the workbench.
    for (const auto& [path, text] : run.sources) {
      auto it = p.files.find(path);
      FUZZ_CHECK(it != p.files.end() && it->second == text);
    }
    for (const char* path : kPaths) FUZZ_CHECK(p.files.count(path) == run.sources.count(path));
  }
  // Free what this input allocated, so that the leak check only runs when
  // something really leaked.
  p.files.clear();
  run.sources.clear();
  p.editorTitle.clear();
  p.editorTitle.shrink_to_fit();
  return 0;
}
