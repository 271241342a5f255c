#include "sim/text_screen.h"

#include <algorithm>
#include <cstring>

namespace quorix {

namespace {

constexpr int kCells = TextScreen::kRows * TextScreen::kColumns;
constexpr uint32_t kRowBytes = TextScreen::kColumns * 2;

}  // namespace

void TextScreen::Read(uint32_t offset, std::span<uint8_t> bytes) {
  if (batch_ != nullptr || machine_ == nullptr) {
    std::memcpy(bytes.data(), (batch_ != nullptr ? *batch_ : own_).data() + offset, bytes.size());
  } else if (!machine_->Read(kBase + offset, bytes)) {
    std::fill(bytes.begin(), bytes.end(), 0);
  }
}

void TextScreen::Write(uint32_t offset, std::span<const uint8_t> bytes) {
  if (batch_ != nullptr || machine_ == nullptr)
    std::memcpy((batch_ != nullptr ? *batch_ : own_).data() + offset, bytes.data(), bytes.size());
  else
    machine_->Write(kBase + offset, bytes);
}

void TextScreen::Clear() {
  std::array<uint8_t, kBytes> blank;
  for (uint32_t i = 0; i < kBytes; i += 2) {
    blank[i] = ' ';
    blank[i + 1] = kAttribute;
  }
  Write(0, blank);
  row_ = 0;
  column_ = 0;
  shape_ = kCursorShape;
}

void TextScreen::SetCursor(int row, int column) {
  row_ = row;
  column_ = column;
}

void TextScreen::Put(uint8_t c) {
  const int cell = row_ * kColumns + column_;
  if (cell < kCells) Write(static_cast<uint32_t>(cell) * 2, std::span<const uint8_t>(&c, 1));
}

void TextScreen::LineFeed() {
  if (row_ + 1 < kRows) {
    ++row_;
    return;
  }
  Scroll({0, 0, kRows - 1, kColumns - 1}, 1, kAttribute, true);
  row_ = kRows - 1;
}

void TextScreen::Teletype(uint8_t c) {
  switch (c) {
    case '\r': column_ = 0; return;
    case '\n': LineFeed(); return;
    case 8:
      if (column_ > 0) --column_;
      return;
    case 7: return;
    default: break;
  }
  Put(c);
  if (++column_ >= kColumns) {
    column_ = 0;
    LineFeed();
  }
}

void TextScreen::Console(std::span<const uint8_t> bytes) {
  // A long text is laid out in a copy of the cells, which the machine gets
  // at once, rather than one write into its memory per character.
  constexpr size_t kBatchFrom = 64;
  if (machine_ != nullptr && batch_ == nullptr && bytes.size() >= kBatchFrom) {
    std::array<uint8_t, kBytes> cells;
    Read(0, cells);
    batch_ = &cells;
    Console(bytes);
    batch_ = nullptr;
    Write(0, cells);
    return;
  }
  for (uint8_t c : bytes) {
    if (c != '\t') {
      Teletype(c);
      continue;
    }
    do {
      Teletype(' ');
    } while (column_ % kTabWidth != 0);
  }
}

void TextScreen::Repeat(uint8_t c, int attribute, uint32_t count) {
  const int start = row_ * kColumns + column_;
  if (start >= kCells || count == 0) return;
  const uint32_t n = std::min<uint32_t>(count, static_cast<uint32_t>(kCells - start));
  std::array<uint8_t, kBytes> cells;
  std::span<uint8_t> part(cells.data(), n * 2);
  const uint32_t offset = static_cast<uint32_t>(start) * 2;
  if (attribute < 0) Read(offset, part);
  for (uint32_t i = 0; i < n; ++i) {
    part[2 * i] = c;
    if (attribute >= 0) part[2 * i + 1] = static_cast<uint8_t>(attribute);
  }
  Write(offset, part);
}

void TextScreen::Scroll(ScreenWindow w, int lines, uint8_t attribute, bool up) {
  w.bottom = std::min(w.bottom, kRows - 1);
  w.right = std::min(w.right, kColumns - 1);
  if (w.top < 0 || w.left < 0 || w.top > w.bottom || w.left > w.right) return;
  const int height = w.bottom - w.top + 1;
  if (lines <= 0 || lines > height) lines = height;
  std::array<uint8_t, kBytes> cells;
  Read(0, cells);
  const uint32_t from = static_cast<uint32_t>(w.left) * 2;
  const uint32_t width = static_cast<uint32_t>(w.right - w.left + 1) * 2;
  auto rowAt = [&](int r) { return cells.data() + r * kRowBytes + from; };
  for (int i = 0; i < height - lines; ++i) {
    const int to = up ? w.top + i : w.bottom - i;
    std::memcpy(rowAt(to), rowAt(up ? to + lines : to - lines), width);
  }
  for (int i = height - lines; i < height; ++i) {
    uint8_t* row = rowAt(up ? w.top + i : w.bottom - i);
    for (uint32_t b = 0; b < width; b += 2) {
      row[b] = ' ';
      row[b + 1] = attribute;
    }
  }
  Write(0, cells);
}

ScreenCell TextScreen::At(int row, int column) {
  uint8_t cell[2] = {0, 0};
  if (row >= 0 && row < kRows && column >= 0 && column < kColumns)
    Read(static_cast<uint32_t>(row * kRowBytes + column * 2), cell);
  return {cell[0], cell[1]};
}

std::vector<uint8_t> TextScreen::Bytes() {
  std::vector<uint8_t> bytes(kBytes);
  Read(0, bytes);
  return bytes;
}

std::string TextScreen::RowText(int row) {
  if (row < 0 || row >= kRows) return {};
  uint8_t cells[kRowBytes];
  Read(static_cast<uint32_t>(row) * kRowBytes, cells);
  std::string text;
  for (uint32_t i = 0; i < kRowBytes; i += 2) {
    const uint8_t c = cells[i];
    text.push_back(c == 0 ? ' ' : c < 0x20 || c == 0x7F ? '.' : static_cast<char>(c));
  }
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

}  // namespace quorix
