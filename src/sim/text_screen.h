// The program's 80x25 colour text screen: 2,000 cells of a character byte
// and an attribute byte, row after row, held in the machine's video memory
// at linear B8000h (B800:0000), where the program reads and writes them like
// any memory; and the cursor the BIOS keeps beside them. When the video
// memory cannot be mapped (a flat program's own image lies there) the cells
// live in the screen's own buffer instead and the program cannot reach them.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sim/machine.h"

namespace quorix {

struct ScreenCell {
  uint8_t character = ' ';
  uint8_t attribute = 0x07;
};

// Rows and columns of a rectangle, both corners included.
struct ScreenWindow {
  int top = 0, left = 0, bottom = 0, right = 0;
};

class TextScreen {
 public:
  static constexpr int kRows = 25;
  static constexpr int kColumns = 80;
  static constexpr uint32_t kBase = 0xB8000;
  static constexpr uint32_t kBytes = kRows * kColumns * 2;  // 4,000
  static constexpr uint8_t kAttribute = 0x07;               // grey on black
  static constexpr uint16_t kCursorShape = 0x0607;          // scan lines 6 to 7
  static constexpr int kTabWidth = 8;

  // Where the cells live from now on: the machine's memory at kBase, or
  // (nullptr) the screen's own buffer.
  void Attach(Machine* machine) { machine_ = machine; }
  bool attached() const { return machine_ != nullptr; }
  // A blank screen (spaces, attribute 07h) with the cursor at the top left.
  void Clear();

  int row() const { return row_; }
  int column() const { return column_; }
  // Any position a byte holds. Cell (row, column) is the cell row * 80 +
  // column in memory order, so a column past 79 reaches into the next row;
  // writes past the last cell are dropped. A cursor outside the 80x25 cells
  // is hidden.
  void SetCursor(int row, int column);
  uint16_t cursorShape() const { return shape_; }
  // The cursor shows when it lies on the screen and its shape does not
  // switch it off (bit 5 of the start line).
  bool cursorVisible() const {
    return row_ < kRows && column_ < kColumns && (shape_ & 0x2000) == 0;
  }

  // The BIOS teletype: CR to the line's start, LF to the next line, BS one
  // column back (never past the line's start), BEL nothing; any other byte
  // is written at the cursor, keeping the cell's attribute, and the cursor
  // moves on, to the next line after column 80. Below the bottom line the
  // screen scrolls up and the new line is blank with attribute 07h.
  void Teletype(uint8_t c);
  // DOS console output: the teletype, with TAB moving to the next multiple
  // of 8 columns by writing spaces.
  void Console(std::span<const uint8_t> bytes);
  // `count` copies of `c` from the cursor on, row after row, with
  // `attribute` or (attribute < 0) each cell's own; the cursor stays.
  // Nothing is written past the last cell.
  void Repeat(uint8_t c, int attribute, uint32_t count);
  // Moves the rows of `window` up (or down) by `lines`, blanking the rows
  // that come free with `attribute`; lines 0, or as many as the window has,
  // blank it all. The window is cut to the screen; one with its corners
  // the wrong way round does nothing.
  void Scroll(ScreenWindow window, int lines, uint8_t attribute, bool up);

  ScreenCell At(int row, int column);
  // The 4,000 bytes of the cells.
  std::vector<uint8_t> Bytes();
  // Row `row` as printable text without its trailing blanks: byte 00h reads
  // as a blank, the other bytes below 20h and 7Fh as '.', the rest as they are.
  std::string RowText(int row);

 private:
  void Read(uint32_t offset, std::span<uint8_t> bytes);
  void Write(uint32_t offset, std::span<const uint8_t> bytes);
  void Put(uint8_t c);
  void LineFeed();

  Machine* machine_ = nullptr;
  // While a long text goes to the console: the cells it works on, written
  // to the machine once at the end.
  std::array<uint8_t, kBytes>* batch_ = nullptr;
  std::array<uint8_t, kBytes> own_{};
  int row_ = 0;
  int column_ = 0;
  uint16_t shape_ = kCursorShape;
};

}  // namespace quorix
