// Finding another program's top-level window by its WM_CLASS class and
// reading its title, for the link to the companion editor.
#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <string>
#include <vector>

namespace quorix::x11 {

class WindowFinder {
 public:
  explicit WindowFinder(Display* display);

  // The first top-level client window whose WM_CLASS class (res_class) is
  // exactly windowClass. With a live EWMH window manager the clients are
  // those of _NET_CLIENT_LIST; otherwise the root's children are walked and
  // each one's client is the window carrying WM_STATE in its subtree, or,
  // when no window manager marked any, the child itself if it is mapped.
  std::optional<::Window> Find(const char* windowClass);

  // The window's title as Windows-1252 text: _NET_WM_NAME (UTF-8) when
  // present, else WM_NAME in its own encoding; empty when it has neither.
  std::string Title(::Window window);

  // Find, then Title.
  std::optional<std::string> FindTitle(const char* windowClass);

 private:
  std::optional<std::vector<::Window>> ManagedClients();
  std::vector<::Window> UnmanagedClients();
  std::optional<::Window> ClientOf(::Window topLevel);
  bool HasWmState(::Window window);
  bool HasClass(::Window window, const char* windowClass);
  // Reads a property of at most maxBytes bytes; false when absent or failed.
  bool ReadProperty(::Window window, Atom property, Atom type, long maxBytes, Atom& actualType,
                    int& format, std::string& bytes);

  Display* display_;
  ::Window root_;
  Atom netClientList_, netSupportingWmCheck_, wmState_, netWmName_, utf8String_;
};

}  // namespace quorix::x11
