// Nuvedo: the workbench's companion editor on Windows. Its top-level window
// has the class "TQuorixClassTE" and the full path of the open file as its
// title, which is all the workbench reads of it.
//
//   Nuvedo.exe [FILE]   opens FILE (creating it when missing), or
//                       TheFile.asm in the editor's own folder
//   Ctrl+O              opens another file (the common Open dialog)
//   Ctrl+S              saves, byte for byte
#include <windows.h>
#include <commdlg.h>

#include <cstdlib>
#include <string>

#include "editor_io.h"

namespace {

constexpr char kClass[] = "TQuorixClassTE";
constexpr int kCmdOpen = 101, kCmdSave = 102;
constexpr char kDefaultFile[] = "TheFile.asm";

HWND gMain = nullptr, gEdit = nullptr;
HFONT gFont = nullptr;
std::string gPath;  // full path of the open file; empty when none

void Complain(const std::string& what) {
  ::MessageBoxA(gMain, what.c_str(), "Nuvedo", MB_OK | MB_ICONERROR);
}

std::wstring EditText() {
  int n = ::GetWindowTextLengthW(gEdit);
  std::wstring text(size_t(n) + 1, L'\0');
  n = ::GetWindowTextW(gEdit, text.data(), n + 1);
  text.resize(size_t(n < 0 ? 0 : n));
  return text;
}

bool Modified() { return ::SendMessageW(gEdit, EM_GETMODIFY, 0, 0) != 0; }

// Saves the text; a failure is shown and the text stays as it is.
bool Save() {
  if (gPath.empty()) return false;
  std::string bytes, error;
  size_t bad = 0;
  if (!nuvedo::Encode1252(EditText(), bytes, &bad)) {
    Complain("Not saved: the text holds a character that Windows-1252 cannot hold (at character " +
             std::to_string(bad + 1) + ").");
    return false;
  }
  if (!nuvedo::SaveFile(gPath, bytes, error)) {
    Complain("Not saved: " + gPath + "\n" + error);
    return false;
  }
  ::SendMessageW(gEdit, EM_SETMODIFY, FALSE, 0);
  return true;
}

// True when the changes are saved or may be dropped.
bool MayLeaveText() {
  if (!Modified()) return true;
  int answer = ::MessageBoxA(gMain, ("Save the changes to " + gPath + "?").c_str(), "Nuvedo",
                             MB_YESNOCANCEL | MB_ICONQUESTION);
  if (answer == IDCANCEL) return false;
  return answer == IDNO || Save();
}

bool Open(const std::string& name) {
  std::string bytes, error;
  const std::string full = nuvedo::FullPath(name);
  nuvedo::OpenResult r = nuvedo::OpenFile(full, bytes, error);
  if (r == nuvedo::OpenResult::Failed || r == nuvedo::OpenResult::NotText) {
    Complain("Cannot open " + full + "\n" + error);
    return false;
  }
  ::SetWindowTextW(gEdit, nuvedo::Decode1252(bytes).c_str());
  ::SendMessageW(gEdit, EM_SETMODIFY, FALSE, 0);
  gPath = full;
  ::SetWindowTextA(gMain, gPath.c_str());
  return true;
}

void AskAndOpen() {
  if (!MayLeaveText()) return;
  char file[MAX_PATH * 4] = {};
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = gMain;
  ofn.lpstrFilter = "Assembler sources (*.asm)\0*.asm\0All files (*.*)\0*.*\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (::GetOpenFileNameA(&ofn)) Open(file);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_CREATE: {
      gEdit = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                    ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | ES_NOHIDESEL,
                                0, 0, 10, 10, hwnd, nullptr,
                                reinterpret_cast<CREATESTRUCT*>(lParam)->hInstance, nullptr);
      if (gEdit == nullptr) return -1;
      ::SendMessageW(gEdit, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
      gFont = ::CreateFontA(-15, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN,
                            "Lucida Console");
      ::SendMessageW(gEdit, WM_SETFONT, reinterpret_cast<WPARAM>(gFont), TRUE);
      return 0;
    }
    case WM_SIZE: ::MoveWindow(gEdit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE); return 0;
    case WM_SETFOCUS: ::SetFocus(gEdit); return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kCmdOpen) {
        AskAndOpen();
        return 0;
      }
      if (LOWORD(wParam) == kCmdSave) {
        Save();
        return 0;
      }
      break;
    case WM_CLOSE:
      if (MayLeaveText()) ::DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY: ::PostQuitMessage(0); return 0;
    default: break;
  }
  return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = ::LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  wc.hIconSm = wc.hIcon;
  wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClass;
  if (!::RegisterClassExA(&wc)) return 1;
  gMain = ::CreateWindowExA(0, kClass, "Nuvedo", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                            720, 560, nullptr, nullptr, instance, nullptr);
  if (gMain == nullptr) return 1;

  const std::string file =
      __argc > 1 ? std::string(__argv[1]) : nuvedo::ProgramFolder() + kDefaultFile;
  if (!Open(file)) {
    ::DestroyWindow(gMain);
    return 1;
  }
  ::ShowWindow(gMain, show == 0 ? SW_SHOWNORMAL : show);
  ::UpdateWindow(gMain);

  ACCEL keys[] = {{FVIRTKEY | FCONTROL, 'O', kCmdOpen}, {FVIRTKEY | FCONTROL, 'S', kCmdSave}};
  HACCEL accel = ::CreateAcceleratorTableA(keys, 2);
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (accel && ::TranslateAcceleratorA(gMain, accel, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  if (accel) ::DestroyAcceleratorTable(accel);
  if (gFont) ::DeleteObject(gFont);
  return static_cast<int>(msg.wParam);
}
