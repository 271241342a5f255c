// fake-editor: a stand-in for the companion editor in tests and measurements.
//
//   fake-editor [--class CLASS] TITLE
//       Opens a small top-level window of WM_CLASS class CLASS (default
//       "TQuorixClassTE") titled TITLE (UTF-8 in _NET_WM_NAME, and WM_NAME),
//       prints its window id in decimal once it is mapped, and stays until it
//       is killed or asked to close.
//   fake-editor --close WINDOW
//       Asks the window to close as a window manager would: a WM_PROTOCOLS
//       client message with WM_DELETE_WINDOW.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: fake-editor [--class CLASS] TITLE\n"
               "       fake-editor --close WINDOW\n");
  return 2;
}

int SendClose(Display* d, Window w) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  if (!XSendEvent(d, w, False, NoEventMask, &e)) return 1;
  XSync(d, False);
  return 0;
}

int RunEditor(Display* d, const char* windowClass, const char* title) {
  Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 820, 0, 300, 200, 0,
                                 BlackPixel(d, DefaultScreen(d)), WhitePixel(d, DefaultScreen(d)));
  XSelectInput(d, w, StructureNotifyMask);
  XClassHint cls;
  cls.res_name = const_cast<char*>("fake-editor");
  cls.res_class = const_cast<char*>(windowClass);
  XSetClassHint(d, w, &cls);
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False),
                  8, PropModeReplace, reinterpret_cast<const unsigned char*>(title),
                  static_cast<int>(std::strlen(title)));
  XTextProperty name{};
  char* list[] = {const_cast<char*>(title)};
  if (Xutf8TextListToTextProperty(d, list, 1, XStdICCTextStyle, &name) >= Success) {
    XSetWMName(d, w, &name);
    XFree(name.value);
  }
  Atom wmDelete = XInternAtom(d, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(d, w, &wmDelete, 1);
  XMapWindow(d, w);
  for (;;) {
    XEvent e;
    XNextEvent(d, &e);
    if (e.type == MapNotify && e.xmap.window == w) {
      std::printf("%lu\n", w);
      std::fflush(stdout);
    } else if (e.type == ClientMessage && static_cast<Atom>(e.xclient.data.l[0]) == wmDelete) {
      return 0;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "");
  const char* windowClass = "TQuorixClassTE";
  const char* closeWindow = nullptr;
  const char* title = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--class") == 0 && i + 1 < argc) {
      windowClass = argv[++i];
    } else if (std::strcmp(argv[i], "--close") == 0 && i + 1 < argc) {
      closeWindow = argv[++i];
    } else if (title == nullptr) {
      title = argv[i];
    } else {
      return Usage();
    }
  }
  if ((closeWindow == nullptr) == (title == nullptr)) return Usage();
  Display* d = XOpenDisplay(nullptr);
  if (d == nullptr) {
    std::fprintf(stderr, "fake-editor: cannot open the X display\n");
    return 1;
  }
  int rc;
  if (closeWindow != nullptr) {
    char* end = nullptr;
    unsigned long w = std::strtoul(closeWindow, &end, 0);
    rc = (end == closeWindow || *end != 0) ? Usage() : SendClose(d, static_cast<Window>(w));
  } else {
    rc = RunEditor(d, windowClass, title);
  }
  XCloseDisplay(d);
  return rc;
}
