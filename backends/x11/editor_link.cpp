#include "backends/x11/editor_link.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cstring>

#include "backends/x11/error_trap.h"
#include "backends/x11/title_codec.h"

namespace quorix::x11 {

namespace {

// Enough for 249 characters of any encoding (at most four bytes each).
constexpr long kTitleBytes = 1024;
// How deep below a top-level window a window manager's frame may hide the
// client.
constexpr int kFrameDepth = 4;

struct XFreeGuard {
  void* p = nullptr;
  ~XFreeGuard() {
    if (p) XFree(p);
  }
};

std::vector<::Window> Children(Display* d, ::Window w) {
  ::Window root = 0, parent = 0;
  ::Window* kids = nullptr;
  unsigned int n = 0;
  if (!XQueryTree(d, w, &root, &parent, &kids, &n)) return {};
  XFreeGuard guard{kids};
  return std::vector<::Window>(kids, kids + n);
}

}  // namespace

WindowFinder::WindowFinder(Display* display)
    : display_(display), root_(DefaultRootWindow(display)) {
  const char* names[] = {"_NET_CLIENT_LIST", "_NET_SUPPORTING_WM_CHECK", "WM_STATE", "_NET_WM_NAME",
                         "UTF8_STRING"};
  Atom atoms[5];
  XInternAtoms(display, const_cast<char**>(names), 5, False, atoms);
  netClientList_ = atoms[0];
  netSupportingWmCheck_ = atoms[1];
  wmState_ = atoms[2];
  netWmName_ = atoms[3];
  utf8String_ = atoms[4];
}

bool WindowFinder::ReadProperty(::Window window, Atom property, Atom type, long maxBytes,
                                Atom& actualType, int& format, std::string& bytes) {
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  actualType = None;
  format = 0;
  if (XGetWindowProperty(display_, window, property, 0, (maxBytes + 3) / 4, False, type,
                         &actualType, &format, &count, &after, &data) != Success) {
    return false;
  }
  XFreeGuard guard{data};
  if (actualType == None || data == nullptr) return false;
  if (type != AnyPropertyType && actualType != type) return false;
  // Xlib returns 32-bit items as longs.
  size_t itemSize = format == 8 ? 1 : format == 16 ? sizeof(short) : sizeof(long);
  bytes.assign(reinterpret_cast<const char*>(data), count * itemSize);
  return true;
}

std::optional<std::vector<::Window>> WindowFinder::ManagedClients() {
  // A window manager that keeps _NET_CLIENT_LIST proves it is alive through
  // a window whose _NET_SUPPORTING_WM_CHECK names itself; a list left behind
  // by one that has gone is not trusted.
  Atom type;
  int format;
  std::string check, checkAgain, list;
  if (!ReadProperty(root_, netSupportingWmCheck_, XA_WINDOW, sizeof(long), type, format, check) ||
      format != 32 || check.size() < sizeof(long)) {
    return std::nullopt;
  }
  long wmWindow;
  std::memcpy(&wmWindow, check.data(), sizeof wmWindow);
  if (!ReadProperty(static_cast<::Window>(wmWindow), netSupportingWmCheck_, XA_WINDOW, sizeof(long),
                    type, format, checkAgain) ||
      checkAgain != check) {
    return std::nullopt;
  }
  if (!ReadProperty(root_, netClientList_, XA_WINDOW, 1 << 20, type, format, list) ||
      format != 32) {
    return std::nullopt;
  }
  std::vector<::Window> clients(list.size() / sizeof(long));
  for (size_t i = 0; i < clients.size(); ++i) {
    long w;
    std::memcpy(&w, list.data() + i * sizeof(long), sizeof w);
    clients[i] = static_cast<::Window>(w);
  }
  return clients;
}

bool WindowFinder::HasWmState(::Window window) {
  Atom type;
  int format;
  std::string state;
  if (!ReadProperty(window, wmState_, wmState_, 2 * sizeof(long), type, format, state) ||
      format != 32 || state.size() < sizeof(long)) {
    return false;
  }
  long value;
  std::memcpy(&value, state.data(), sizeof value);
  return value != WithdrawnState;
}

std::optional<::Window> WindowFinder::ClientOf(::Window topLevel) {
  // Breadth-first, as a frame usually holds the client one or two levels down.
  std::vector<::Window> level{topLevel};
  for (int depth = 0; depth <= kFrameDepth && !level.empty(); ++depth) {
    std::vector<::Window> next;
    for (::Window w : level) {
      if (HasWmState(w)) return w;
      if (depth < kFrameDepth) {
        std::vector<::Window> kids = Children(display_, w);
        next.insert(next.end(), kids.begin(), kids.end());
      }
    }
    level = std::move(next);
  }
  // Without a window manager nothing carries WM_STATE: a mapped top-level
  // window is the client itself. Unmapped ones (withdrawn windows, toolkits'
  // hidden helper windows) and override-redirect popups are not.
  XWindowAttributes attrs;
  if (XGetWindowAttributes(display_, topLevel, &attrs) && attrs.map_state != IsUnmapped &&
      !attrs.override_redirect) {
    return topLevel;
  }
  return std::nullopt;
}

std::vector<::Window> WindowFinder::UnmanagedClients() {
  std::vector<::Window> clients;
  for (::Window top : Children(display_, root_)) {
    if (std::optional<::Window> c = ClientOf(top)) clients.push_back(*c);
  }
  return clients;
}

bool WindowFinder::HasClass(::Window window, const char* windowClass) {
  Atom type;
  int format;
  std::string hint;
  if (!ReadProperty(window, XA_WM_CLASS, XA_STRING, 1024, type, format, hint) || format != 8) {
    return false;
  }
  // res_name NUL res_class NUL
  size_t nameEnd = hint.find('\0');
  if (nameEnd == std::string::npos) return false;
  std::string cls = hint.substr(nameEnd + 1);
  if (size_t end = cls.find('\0'); end != std::string::npos) cls.resize(end);
  return cls == windowClass;
}

std::optional<::Window> WindowFinder::Find(const char* windowClass) {
  // Any of these windows can disappear between two requests.
  ErrorTrap trap(display_);
  std::optional<std::vector<::Window>> clients = ManagedClients();
  if (!clients) clients = UnmanagedClients();
  for (::Window w : *clients) {
    if (HasClass(w, windowClass)) return w;
  }
  return std::nullopt;
}

std::string WindowFinder::Title(::Window window) {
  ErrorTrap trap(display_);
  Atom type;
  int format;
  std::string bytes;
  if (ReadProperty(window, netWmName_, utf8String_, kTitleBytes, type, format, bytes) &&
      format == 8) {
    return Utf8TitleToPath(bytes);
  }
  if (!ReadProperty(window, XA_WM_NAME, AnyPropertyType, kTitleBytes, type, format, bytes) ||
      format != 8) {
    return {};
  }
  if (type == XA_STRING) return Latin1To1252(bytes);
  if (type == utf8String_) return Utf8TitleToPath(bytes);
  // COMPOUND_TEXT and other encodings: let Xlib turn them into UTF-8.
  XTextProperty prop;
  prop.value = reinterpret_cast<unsigned char*>(bytes.data());
  prop.encoding = type;
  prop.format = 8;
  prop.nitems = bytes.size();
  char** list = nullptr;
  int n = 0;
  std::string title;
  if (Xutf8TextPropertyToTextList(display_, &prop, &list, &n) >= Success && list != nullptr) {
    if (n > 0 && list[0] != nullptr) title = Utf8TitleToPath(list[0]);
    XFreeStringList(list);
  } else {
    title = "?";
  }
  return title;
}

std::optional<std::string> WindowFinder::FindTitle(const char* windowClass) {
  std::optional<::Window> w = Find(windowClass);
  if (!w) return std::nullopt;
  return Title(*w);
}

}  // namespace quorix::x11
