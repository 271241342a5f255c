#include "apps/quorix-replay/replay.h"

#include <cctype>
#include <charconv>
#include <istream>
#include <optional>
#include <ostream>
#include <sstream>

#include "app/machine_window.h"
#include "screen/views.h"

namespace quorix {

namespace {

// Messages a native window receives before its creation message; they reach
// the workbench with its all-zero record.
constexpr uint32_t kMsgGetMinMaxInfo = 0x0024;
constexpr uint32_t kMsgNcCreate = 0x0081;
constexpr uint32_t kMsgNcCalcSize = 0x0083;
constexpr uint32_t kMkLButton = 0x0001;

bool ParseUnsigned(std::string_view text, uint32_t max, uint32_t* value) {
  if (text.empty()) return false;
  auto res = std::from_chars(text.data(), text.data() + text.size(), *value);
  return res.ec == std::errc() && res.ptr == text.data() + text.size() && *value <= max;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

// The text of a `key` command as the characters it types: \r is Enter, \b
// Backspace, \s a blank, \\ a backslash, \xHH any byte.
bool ParseKeyText(std::string_view arg, std::string* keys, std::string* why) {
  if (arg.empty()) return *why = "key needs the text to type", false;
  for (size_t i = 0; i < arg.size(); ++i) {
    if (arg[i] != '\\') {
      keys->push_back(arg[i]);
      continue;
    }
    if (++i >= arg.size()) return *why = "key: '\\' at the end of the text", false;
    switch (arg[i]) {
      case 'r': keys->push_back('\r'); break;
      case 'b': keys->push_back('\b'); break;
      case 's': keys->push_back(' '); break;
      case '\\': keys->push_back('\\'); break;
      case 'x': {
        uint32_t v = 0;
        if (i + 2 >= arg.size() || !std::isxdigit(static_cast<unsigned char>(arg[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(arg[i + 2])))
          return *why = "key: \\x needs two hexadecimal digits", false;
        std::from_chars(arg.data() + i + 1, arg.data() + i + 3, v, 16);
        keys->push_back(static_cast<char>(v));
        i += 2;
        break;
      }
      default: return *why = "key: unknown escape \\" + std::string(1, arg[i]), false;
    }
  }
  return true;
}

// "F5", "Shift+F11", "Ctrl+F10", "Up", "Down", "Esc": the key code and the
// modifiers of a key press.
bool ParseKeyName(std::string_view text, uint32_t* key, uint32_t* modifiers) {
  *modifiers = 0;
  for (;;) {
    if (text.rfind("Shift+", 0) == 0) {
      *modifiers |= ModShift;
      text.remove_prefix(6);
    } else if (text.rfind("Ctrl+", 0) == 0) {
      *modifiers |= ModControl;
      text.remove_prefix(5);
    } else {
      break;
    }
  }
  if (text == "Up") return *key = KeyUp, true;
  if (text == "Down") return *key = KeyDown, true;
  if (text == "Esc") return *key = KeyEscape, true;
  uint32_t n = 0;
  if (text.size() < 2 || text[0] != 'F' || !ParseUnsigned(text.substr(1), 12, &n) || n == 0)
    return false;
  *key = KeyF1 + n - 1;
  return true;
}

}  // namespace

void DumpRecord(const ContextRecord& record, std::ostream& out) {
  for (int i = 0; i < kContextFieldCount; ++i)
    out << VariableLabel(i) << ' ' << ContextField(record, i) << '\n';
}

ReplaySession::ReplaySession(HeadlessPlatform& platform, MachineFactory machines)
    : platform_(platform), workbench_(std::make_unique<Workbench>(platform, std::move(machines))) {
  workbench_->WindowProc(kMsgGetMinMaxInfo, 0, 0);
  workbench_->WindowProc(kMsgNcCreate, 0, 0);
  workbench_->WindowProc(kMsgNcCalcSize, 0, 0);
  workbench_->WindowProc(MsgCreate, 0, 0);
}

ReplaySession::~ReplaySession() = default;

bool ReplaySession::Command(const std::string& text, std::ostream& out, std::string* error) {
  std::string_view line = Trim(text);
  if (line.empty() || line.front() == '#') return true;
  size_t space = line.find_first_of(" \t");
  std::string_view verb = line.substr(0, space);
  std::string_view arg =
      space == std::string_view::npos ? std::string_view() : Trim(line.substr(space));
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };

  if (std::optional<bool> done = WindowCommand(verb, arg, error)) return *done;
  if (verb == "editor") {
    if (arg.empty()) return fail("editor needs the window title (the source path)");
    platform_.SetEditorTitle(std::string(arg));
  } else if (verb == "noeditor") {
    platform_.RemoveEditor();
  } else if (verb == "move") {
    size_t sep = arg.find_first_of(" \t");
    uint32_t x = 0, y = 0;
    if (sep == std::string_view::npos || !ParseUnsigned(arg.substr(0, sep), 0xFFFF, &x) ||
        !ParseUnsigned(Trim(arg.substr(sep)), 0xFFFF, &y))
      return fail("move needs X and Y between 0 and 65535");
    pointer_ = PackPoint(x, y);
    Send(MsgMouseMove, 0, pointer_);
  } else if (verb == "down") {
    Send(MsgLButtonDown, kMkLButton, pointer_);
  } else if (verb == "up") {
    Send(MsgLButtonUp, 0, pointer_);
  } else if (verb == "key") {
    std::string keys, why;
    if (!ParseKeyText(arg, &keys, &why)) return fail(why);
    for (char c : keys) Send(MsgChar, static_cast<uint8_t>(c), 1);
  } else if (verb == "tick") {
    uint32_t n = 0;
    if (!ParseUnsigned(arg, 100'000'000, &n)) return fail("tick needs a count");
    for (uint32_t i = 0; i < n && platform_.timerRunning() && !platform_.quitPosted(); ++i) {
      clock_ += platform_.timerPeriod();
      workbench_->TimerTick(clock_);
    }
  } else if (verb == "shot") {
    if (arg.empty()) return fail("shot needs a file name");
    CairoCanvas* bb = machine() ? platform_.secondBuffer() : platform_.backBuffer();
    if (bb == nullptr)
      return fail(machine() ? "the machine window is not open" : "there is no back buffer");
    if (!bb->WritePng(std::string(arg))) return fail("cannot write " + std::string(arg));
  } else if (verb == "dump") {
    if (machine())
      out << workbench_->machine().Dump();
    else
      DumpRecord(workbench_->record(), out);
  } else {
    return fail("unknown command '" + std::string(verb) + "'");
  }
  return true;
}

std::optional<bool> ReplaySession::WindowCommand(std::string_view verb, std::string_view arg,
                                                 std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  if (verb == "window") {
    if (arg == "main") {
      window_ = WindowId::Main;
    } else if (arg == "machine") {
      window_ = WindowId::Second;
    } else {
      return fail("window needs main or machine");
    }
  } else if (verb == "keydown") {
    uint32_t key = 0, modifiers = 0;
    if (!ParseKeyName(arg, &key, &modifiers))
      return fail("keydown needs a key: F1 to F12, Up, Down or Esc, after Shift+ or Ctrl+");
    Send(MsgKeyDown, key, modifiers);
  } else if (verb == "close") {
    Send(MsgClose, 0, 0);
  } else {
    return std::nullopt;
  }
  return true;
}

void ReplaySession::Send(uint32_t msg, uint32_t wParam, uint32_t lParam) {
  workbench_->WindowProc(window_, msg, wParam, lParam);
}

bool ReplaySession::Run(std::istream& script, std::ostream& out, std::string* error,
                        int* errorLine) {
  std::string line;
  int number = 0;
  while (!platform_.quitPosted() && std::getline(script, line)) {
    ++number;
    if (!Command(line, out, error)) {
      if (errorLine) *errorLine = number;
      return false;
    }
  }
  return true;
}

}  // namespace quorix
