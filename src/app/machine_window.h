// The machine window's state and behaviour: opened when Debug is chosen,
// it shows the program the debug screen runs (or that none runs) and takes
// the controls' keys and clicks. The workbench hands it the second window's
// messages and calls Tick after every timer tick of the main window.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/machine_controller.h"
#include "app/step_screen.h"
#include "model/context_record.h"
#include "screen/machine_view.h"

namespace quorix {

// A label followed by DB, DW or DD lines: its bytes are those of the data
// lines up to the next line of another kind (blank lines skipped).
struct DataLabel {
  std::string name;
  uint32_t line = 0;     // the label's line
  uint32_t address = 0;  // origin included
  uint32_t size = 0;
  uint32_t unit = 1;  // of its first data line: 1 DB, 2 DW, 4 DD
  bool text = false;  // a data line holds a string
};
std::vector<DataLabel> FindDataLabels(const SourceText& source, const LineRecords& records,
                                      uint32_t origin);

class MachineWindow {
 public:
  MachineWindow(Shell& shell, ContextRecord& record);

  // Debug was chosen: opens the window (or keeps it open) with the
  // selection on the line of the next instruction.
  void Open();
  void Close();
  bool open() const { return screen_.dc != nullptr; }

  // A message of the machine window; true when it was handled.
  bool WindowProc(uint32_t msg, uint32_t wParam, uint32_t lParam);
  // After each timer tick: a slice of a running command, then a new
  // picture when anything shown has changed.
  void Tick();

  // The state shown now, one `name: value` line per item.
  std::string Dump();
  const MachineSnapshot& Refresh();
  MachineController& controller() { return controller_; }

 private:
  enum class Follow { Label, Address, Si, Di };

  bool Sync();
  void Draw();
  void Key(uint32_t key, uint32_t modifiers);
  void Char(uint8_t c);
  void Click(int x, int y);
  void Command(MachineControl control);
  void Select(uint32_t line);
  bool ApplyAddress(const std::string& text);
  void FillSource(const SourceText& source, const LineRecords& records, uint32_t origin);
  void FillStack(Machine& m, uint32_t origin);
  void FillMemory(Machine& m);
  void FillWatches(Machine& m);
  void NoteChanges();
  uint32_t ReturnLine(Machine& m, uint32_t value, uint32_t origin);

  Shell& shell_;
  ContextRecord& record_;
  MachineController controller_;
  MachineScreen screen_;
  MachineSnapshot snap_;

  uint64_t serial_ = ~uint64_t{0};
  bool active_ = false;
  std::vector<DataLabel> labels_;
  uint32_t selected_ = 0;
  uint32_t top_ = 1;
  uint32_t shownNext_ = 0;
  bool selectionMoved_ = false;

  Follow follow_ = Follow::Label;
  std::string followLabel_;
  uint32_t followSegment_ = 0;
  uint32_t followOffset_ = 0;
  bool editing_ = false;
  std::string input_;

  bool dirty_ = true;
  uint64_t drawnVersion_ = ~uint64_t{0};
};

}  // namespace quorix
