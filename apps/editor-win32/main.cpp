// Nuvedo: the workbench's companion editor on Windows. Its top-level window
// has the class "TQuorixClassTE" and the full path of the open file as its
// title, which is all the workbench reads of it.
//
//   Nuvedo.exe [FILE]   opens FILE, or TheFile.asm in the editor's own
//                       folder; a missing file is made only when the user
//                       says so
//
// A RichEdit control (msftedit.dll) in plain-text mode holds the text, with
// many levels of undo; a margin on its left numbers the lines and a status
// bar shows the caret's line and column. The menu bar has File (New, Open,
// Save, Save As, Exit) and Edit (Undo, Redo, Cut, Copy, Paste, Find, Find
// Next, Go To Line, Select All). Saves are byte for byte: what was read,
// plus what was typed, with the file's own line ends.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <richedit.h>

#include <cstdlib>
#include <string>

#include "editor_io.h"

namespace {

constexpr char kClass[] = "TQuorixClassTE";
constexpr char kWorkbenchClass[] = "QuorixClassEx";
constexpr char kUntitled[] = "(untitled)";
constexpr char kDefaultFile[] = "TheFile.asm";
constexpr wchar_t kGutterClass[] = L"NuvedoLineNumbers";
enum Command : WORD {
  kNew = 101,
  kOpen,
  kSave,
  kSaveAs,
  kExit,
  kUndo = 201,
  kRedo,
  kCut,
  kCopy,
  kPaste,
  kFind,
  kFindNext,
  kGoTo,
  kSelectAll,
};
constexpr int kGoToDialog = 100, kGoToLine = 101;
constexpr UINT_PTR kGutterTimer = 1;

HWND gMain = nullptr, gEdit = nullptr, gGutter = nullptr, gStatus = nullptr, gFindDialog = nullptr;
HFONT gFont = nullptr;
UINT gDpi = 96;
int gGutterWidth = 0;
int gFirstShown = -1;
std::string gPath;  // full path of the open file; empty when none
nuvedo::LineEnds gEnds = nuvedo::LineEnds::None;
UINT gFindMessage = 0;
wchar_t gFindWhat[256] = {};
FINDREPLACEW gFind{};
// How the last search from the dialog went; Find Next keeps it after the
// dialog is closed (the dialog's flags then only say that it closed).
bool gFindDown = true;
WPARAM gFindMatch = 0;

int Scaled(int pixels) { return MulDiv(pixels, static_cast<int>(gDpi), 96); }

void Complain(const std::string& what) {
  ::MessageBoxA(gMain, what.c_str(), "Nuvedo", MB_OK | MB_ICONERROR);
}

LRESULT Edit(UINT msg, WPARAM w = 0, LPARAM l = 0) { return ::SendMessageW(gEdit, msg, w, l); }

// The control's text, every line end one CR.
std::wstring ControlText() {
  GETTEXTLENGTHEX len{GTL_NUMCHARS | GTL_PRECISE, 1200};
  const LRESULT n = Edit(EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&len), 0);
  std::wstring text(size_t(n < 0 ? 0 : n) + 1, L'\0');
  GETTEXTEX get{};
  get.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  get.flags = GT_DEFAULT;
  get.codepage = 1200;
  const LRESULT got =
      Edit(EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get), reinterpret_cast<LPARAM>(text.data()));
  text.resize(size_t(got < 0 ? 0 : got));
  return text;
}

void SetControlText(const std::wstring& text) {
  ::SetWindowTextW(gEdit, text.c_str());
  Edit(EM_EMPTYUNDOBUFFER);
  Edit(EM_SETMODIFY, FALSE);
}

// ---- the line numbers and the status bar ----

int LineCount() { return static_cast<int>(Edit(EM_GETLINECOUNT)); }

// Wide enough for the largest line number and a little room.
void LayOut() {
  RECT client;
  ::GetClientRect(gMain, &client);
  ::SendMessageW(gStatus, WM_SIZE, 0, 0);
  RECT status;
  ::GetWindowRect(gStatus, &status);
  const int statusHeight = status.bottom - status.top;
  HDC dc = ::GetDC(gGutter);
  HGDIOBJ old = ::SelectObject(dc, gFont);
  const std::wstring widest(std::to_wstring(LineCount()).size() + 1, L'9');
  SIZE size{};
  ::GetTextExtentPoint32W(dc, widest.c_str(), static_cast<int>(widest.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(gGutter, dc);
  gGutterWidth = size.cx + Scaled(8);
  const int height = std::max<int>(0, client.bottom - statusHeight);
  ::MoveWindow(gGutter, 0, 0, gGutterWidth, height, TRUE);
  ::MoveWindow(gEdit, gGutterWidth, 0, std::max<int>(0, client.right - gGutterWidth), height, TRUE);
  int parts[] = {std::max<int>(Scaled(60), client.right - Scaled(260)),
                 std::max<int>(Scaled(120), client.right - Scaled(100)), -1};
  ::SendMessageW(gStatus, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
}

void PaintGutter(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(hwnd, &ps);
  RECT r;
  ::GetClientRect(hwnd, &r);
  ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
  HGDIOBJ old = ::SelectObject(dc, gFont);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
  const int count = LineCount();
  for (int line = static_cast<int>(Edit(EM_GETFIRSTVISIBLELINE)); line < count; ++line) {
    const LRESULT at = Edit(EM_LINEINDEX, static_cast<WPARAM>(line));
    if (at < 0) break;
    POINTL p{};
    Edit(EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&p), at);
    if (p.y > r.bottom) break;
    const std::wstring number = std::to_wstring(line + 1);
    RECT cell{0, p.y, r.right - Scaled(4), r.bottom};
    ::DrawTextW(dc, number.c_str(), static_cast<int>(number.size()), &cell,
                DT_RIGHT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  }
  ::SelectObject(dc, old);
  ::EndPaint(hwnd, &ps);
}

void UpdateStatus() {
  CHARRANGE sel{};
  Edit(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&sel));
  const LRESULT line = Edit(EM_EXLINEFROMCHAR, 0, sel.cpMax);
  const LRESULT start = Edit(EM_LINEINDEX, static_cast<WPARAM>(line));
  const std::wstring where =
      L"Line " + std::to_wstring(line + 1) + L", Column " + std::to_wstring(sel.cpMax - start + 1);
  const wchar_t* ends = gEnds == nuvedo::LineEnds::Lf   ? L"LF lines"
                        : gEnds == nuvedo::LineEnds::Cr ? L"CR lines"
                                                        : L"CR LF lines";
  ::SendMessageW(gStatus, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(where.c_str()));
  ::SendMessageW(gStatus, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(ends));
  ::SendMessageW(gStatus, SB_SETTEXTW, 2,
                 reinterpret_cast<LPARAM>(Edit(EM_GETMODIFY) ? L"Modified" : L""));
}

void TextChanged() {
  const int width = gGutterWidth;
  LayOut();
  if (width == gGutterWidth) ::InvalidateRect(gGutter, nullptr, TRUE);
  UpdateStatus();
}

// ---- files ----

void SetTitle() { ::SetWindowTextA(gMain, gPath.empty() ? kUntitled : gPath.c_str()); }

// Saves the text to path; a failure is shown and the text stays as it is.
bool SaveTo(const std::string& path) {
  std::string bytes, error;
  size_t bad = 0;
  if (!nuvedo::Encode1252(nuvedo::FromControl(ControlText(), gEnds), bytes, &bad)) {
    Complain("Not saved: the text holds a character that Windows-1252 cannot hold (at character " +
             std::to_string(bad + 1) + ").");
    return false;
  }
  if (!nuvedo::SaveFile(path, bytes, error)) {
    Complain("Not saved: " + path + "\n" + error);
    return false;
  }
  if (gEnds == nuvedo::LineEnds::None) gEnds = nuvedo::LineEndsOf(bytes);
  gPath = path;
  SetTitle();
  Edit(EM_SETMODIFY, FALSE);
  UpdateStatus();
  return true;
}

// The common part of the Open and Save As dialogs: owner, filter and the
// buffer for the chosen name.
OPENFILENAMEA FileDialog(char* file, DWORD size) {
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = gMain;
  ofn.lpstrFilter = "Assembler sources (*.asm)\0*.asm\0All files (*.*)\0*.*\0";
  ofn.lpstrFile = file;
  ofn.nMaxFile = size;
  return ofn;
}

bool SaveAs() {
  char file[MAX_PATH * 4] = {};
  if (!gPath.empty()) gPath.copy(file, sizeof file - 1);
  OPENFILENAMEA ofn = FileDialog(file, sizeof file);
  ofn.lpstrDefExt = "asm";
  ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_NOREADONLYRETURN;
  if (!::GetSaveFileNameA(&ofn)) return false;
  return SaveTo(nuvedo::FullPath(file));
}

bool Save() { return gPath.empty() ? SaveAs() : SaveTo(gPath); }

// True when the changes are saved or may be dropped.
bool MayLeaveText() {
  if (!Edit(EM_GETMODIFY)) return true;
  const std::string name = gPath.empty() ? std::string(kUntitled) : gPath;
  int answer = ::MessageBoxA(gMain, ("Save the changes to " + name + "?").c_str(), "Nuvedo",
                             MB_YESNOCANCEL | MB_ICONQUESTION);
  if (answer == IDCANCEL) return false;
  return answer == IDNO || Save();
}

// Shows the file's bytes, when the control gives every one of them back.
bool Show(const std::string& full, const std::string& bytes) {
  const nuvedo::LineEnds ends = nuvedo::LineEndsOf(bytes);
  if (ends == nuvedo::LineEnds::Mixed) {
    Complain("Cannot open " + full +
             "\nits lines end in different ways (CR LF, LF or CR alone); this editor would "
             "change them.");
    return false;
  }
  const std::wstring before = ControlText();
  const BOOL wasModified = static_cast<BOOL>(Edit(EM_GETMODIFY));
  SetControlText(nuvedo::ToControl(nuvedo::Decode1252(bytes)));
  std::string back;
  if (!nuvedo::Encode1252(nuvedo::FromControl(ControlText(), ends), back, nullptr) ||
      back != bytes) {
    SetControlText(before);
    Edit(EM_SETMODIFY, wasModified);
    Complain("Cannot open " + full + "\nthe edit control would not keep its text as it is.");
    return false;
  }
  gEnds = ends;
  gPath = full;
  SetTitle();
  TextChanged();
  return true;
}

// Opens a file; a missing one is made (empty) only when the user says so.
bool Open(const std::string& name) {
  const std::string full = nuvedo::FullPath(name);
  std::string bytes, error;
  nuvedo::OpenResult r = nuvedo::OpenFile(full, bytes, error);
  if (r == nuvedo::OpenResult::Missing) {
    const int answer = ::MessageBoxA(gMain, (full + "\ndoes not exist. Create it?").c_str(),
                                     "Nuvedo", MB_YESNO | MB_ICONQUESTION);
    if (answer != IDYES) return false;
    if (!nuvedo::CreateEmptyFile(full, error)) {
      Complain("Cannot create " + full + "\n" + error);
      return false;
    }
    r = nuvedo::OpenFile(full, bytes, error);
  }
  if (r != nuvedo::OpenResult::Opened) {
    Complain("Cannot open " + full + "\n" + error);
    return false;
  }
  return Show(full, bytes);
}

void AskAndOpen() {
  if (!MayLeaveText()) return;
  char file[MAX_PATH * 4] = {};
  OPENFILENAMEA ofn = FileDialog(file, sizeof file);
  ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (::GetOpenFileNameA(&ofn)) Open(file);
}

void NewText() {
  if (!MayLeaveText()) return;
  SetControlText(L"");
  gPath.clear();
  gEnds = nuvedo::LineEnds::None;
  SetTitle();
  TextChanged();
}

// ---- find and go to ----

void StartFind() {
  if (gFindDialog != nullptr) {
    ::SetFocus(gFindDialog);
    return;
  }
  gFind.lStructSize = sizeof(gFind);
  gFind.hwndOwner = gMain;
  gFind.lpstrFindWhat = gFindWhat;
  gFind.wFindWhatLen = sizeof(gFindWhat) / sizeof(gFindWhat[0]);
  gFind.Flags |= FR_DOWN;
  gFindDialog = ::FindTextW(&gFind);
}

// The next match after the selection (before it when searching up),
// going round the text once; a message when there is none.
void FindNext() {
  if (gFindWhat[0] == 0) {
    StartFind();
    return;
  }
  const bool down = gFindDown;
  const WPARAM flags = (down ? FR_DOWN : 0) | gFindMatch;
  CHARRANGE sel{};
  Edit(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&sel));
  FINDTEXTEXW ft{};
  ft.lpstrText = gFindWhat;
  ft.chrg = down ? CHARRANGE{sel.cpMax, -1} : CHARRANGE{sel.cpMin, 0};
  LRESULT at = Edit(EM_FINDTEXTEXW, flags, reinterpret_cast<LPARAM>(&ft));
  if (at < 0) {
    GETTEXTLENGTHEX len{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const LONG end = static_cast<LONG>(Edit(EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&len)));
    ft.chrg = down ? CHARRANGE{0, -1} : CHARRANGE{end, 0};
    at = Edit(EM_FINDTEXTEXW, flags, reinterpret_cast<LPARAM>(&ft));
  }
  if (at < 0) {
    const std::wstring what = L"\"" + std::wstring(gFindWhat) + L"\" is not found.";
    ::MessageBoxW(gFindDialog ? gFindDialog : gMain, what.c_str(), L"Nuvedo", MB_OK);
    return;
  }
  Edit(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&ft.chrgText));
  Edit(EM_SCROLLCARET);
}

INT_PTR CALLBACK GoToProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM) {
  if (msg == WM_INITDIALOG) {
    const LRESULT line = Edit(EM_EXLINEFROMCHAR, 0, Edit(EM_LINEINDEX, WPARAM(-1)));
    ::SetDlgItemInt(dialog, kGoToLine, static_cast<UINT>(line + 1), FALSE);
    return TRUE;
  }
  if (msg != WM_COMMAND) return FALSE;
  if (LOWORD(wParam) == IDCANCEL) {
    ::EndDialog(dialog, 0);
    return TRUE;
  }
  if (LOWORD(wParam) != IDOK) return FALSE;
  BOOL ok = FALSE;
  const UINT line = ::GetDlgItemInt(dialog, kGoToLine, &ok, FALSE);
  if (!ok || line < 1 || line > static_cast<UINT>(LineCount())) {
    const std::string why =
        "The line number must be between 1 and " + std::to_string(LineCount()) + ".";
    ::MessageBoxA(dialog, why.c_str(), "Go To Line", MB_OK | MB_ICONWARNING);
    return TRUE;
  }
  ::EndDialog(dialog, static_cast<INT_PTR>(line));
  return TRUE;
}

void GoToLine() {
  const INT_PTR line = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kGoToDialog),
                                         gMain, GoToProc, 0);
  if (line <= 0) return;
  const LRESULT at = Edit(EM_LINEINDEX, static_cast<WPARAM>(line - 1));
  CHARRANGE caret{static_cast<LONG>(at), static_cast<LONG>(at)};
  Edit(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&caret));
  Edit(EM_SCROLLCARET);
  ::SetFocus(gEdit);
}

// ---- the window ----

HMENU MakeMenu() {
  HMENU file = ::CreatePopupMenu();
  ::AppendMenuW(file, MF_STRING, kNew, L"&New\tCtrl+N");
  ::AppendMenuW(file, MF_STRING, kOpen, L"&Open...\tCtrl+O");
  ::AppendMenuW(file, MF_STRING, kSave, L"&Save\tCtrl+S");
  ::AppendMenuW(file, MF_STRING, kSaveAs, L"Save &As...\tCtrl+Shift+S");
  ::AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(file, MF_STRING, kExit, L"E&xit");
  HMENU edit = ::CreatePopupMenu();
  ::AppendMenuW(edit, MF_STRING, kUndo, L"&Undo\tCtrl+Z");
  ::AppendMenuW(edit, MF_STRING, kRedo, L"&Redo\tCtrl+Y");
  ::AppendMenuW(edit, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(edit, MF_STRING, kCut, L"Cu&t\tCtrl+X");
  ::AppendMenuW(edit, MF_STRING, kCopy, L"&Copy\tCtrl+C");
  ::AppendMenuW(edit, MF_STRING, kPaste, L"&Paste\tCtrl+V");
  ::AppendMenuW(edit, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(edit, MF_STRING, kFind, L"&Find...\tCtrl+F");
  ::AppendMenuW(edit, MF_STRING, kFindNext, L"Find &Next\tF3");
  ::AppendMenuW(edit, MF_STRING, kGoTo, L"&Go To Line...\tCtrl+G");
  ::AppendMenuW(edit, MF_SEPARATOR, 0, nullptr);
  ::AppendMenuW(edit, MF_STRING, kSelectAll, L"Select &All\tCtrl+A");
  HMENU bar = ::CreateMenu();
  ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
  ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), L"&Edit");
  return bar;
}

void EnableEditItems(HMENU menu) {
  CHARRANGE sel{};
  Edit(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&sel));
  auto enable = [menu](UINT id, bool on) {
    ::EnableMenuItem(menu, id, on ? MF_ENABLED : MF_GRAYED);
  };
  enable(kUndo, Edit(EM_CANUNDO) != 0);
  enable(kRedo, Edit(EM_CANREDO) != 0);
  enable(kCut, sel.cpMin != sel.cpMax);
  enable(kCopy, sel.cpMin != sel.cpMax);
  enable(kPaste, Edit(EM_CANPASTE, 0) != 0);
}

void MakeFont() {
  HFONT old = gFont;
  gFont = ::CreateFontW(-Scaled(15), 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                        FIXED_PITCH | FF_MODERN, L"Lucida Console");
  ::SendMessageW(gEdit, WM_SETFONT, reinterpret_cast<WPARAM>(gFont), TRUE);
  if (old) ::DeleteObject(old);
}

bool Command(WORD id) {
  switch (id) {
    case kNew: NewText(); break;
    case kOpen: AskAndOpen(); break;
    case kSave: Save(); break;
    case kSaveAs: SaveAs(); break;
    case kExit: ::SendMessageW(gMain, WM_CLOSE, 0, 0); break;
    case kUndo: Edit(EM_UNDO); break;
    case kRedo: Edit(EM_REDO); break;
    case kCut: Edit(WM_CUT); break;
    case kCopy: Edit(WM_COPY); break;
    case kPaste: Edit(WM_PASTE); break;
    case kFind: StartFind(); break;
    case kFindNext: FindNext(); break;
    case kGoTo: GoToLine(); break;
    case kSelectAll: {
      CHARRANGE all{0, -1};
      Edit(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
      break;
    }
    default: return false;
  }
  return true;
}

bool CreateChildren(HWND hwnd, HINSTANCE instance) {
  gEdit = ::CreateWindowExW(0, MSFTEDIT_CLASS, L"",
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | ES_NOHIDESEL,
                            0, 0, 10, 10, hwnd, nullptr, instance, nullptr);
  gGutter = ::CreateWindowExW(0, kGutterClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, hwnd,
                              nullptr, instance, nullptr);
  gStatus = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0,
                              0, 0, 0, hwnd, nullptr, instance, nullptr);
  if (gEdit == nullptr || gGutter == nullptr || gStatus == nullptr) return false;
  // Plain text (the control's own formats never reach a file), undo of
  // many steps.
  Edit(EM_SETTEXTMODE, TM_PLAINTEXT | TM_MULTILEVELUNDO | TM_MULTICODEPAGE);
  Edit(EM_SETUNDOLIMIT, 1000);
  Edit(EM_EXLIMITTEXT, 0, 0x7FFFFFFE);
  Edit(EM_SETEVENTMASK, 0, ENM_CHANGE | ENM_SELCHANGE | ENM_SCROLL | ENM_UPDATE);
  Edit(EM_SETMARGINS, EC_LEFTMARGIN, MAKELPARAM(Scaled(4), 0));
  MakeFont();
  ::SetTimer(hwnd, kGutterTimer, 100, nullptr);
  return true;
}

LRESULT CALLBACK GutterProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_PAINT) {
    PaintGutter(hwnd);
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT OnDpiChanged(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  gDpi = HIWORD(wParam);
  const RECT* r = reinterpret_cast<const RECT*>(lParam);
  MakeFont();
  ::SetWindowPos(hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  LayOut();
  return 0;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == gFindMessage && gFindMessage != 0) {
    if (gFind.Flags & FR_DIALOGTERM) {
      gFindDialog = nullptr;
    } else if (gFind.Flags & FR_FINDNEXT) {
      gFindDown = (gFind.Flags & FR_DOWN) != 0;
      gFindMatch = gFind.Flags & (FR_MATCHCASE | FR_WHOLEWORD);
      FindNext();
    }
    return 0;
  }
  switch (msg) {
    case WM_CREATE:
      gMain = hwnd;
      gDpi = ::GetDpiForWindow(hwnd);
      return CreateChildren(hwnd, reinterpret_cast<CREATESTRUCT*>(lParam)->hInstance) ? 0 : -1;
    case WM_SIZE: LayOut(); return 0;
    case WM_SETFOCUS: ::SetFocus(gEdit); return 0;
    case WM_DPICHANGED: return OnDpiChanged(hwnd, wParam, lParam);
    case WM_INITMENUPOPUP: EnableEditItems(reinterpret_cast<HMENU>(wParam)); return 0;
    case WM_TIMER:
      if (const int first = static_cast<int>(Edit(EM_GETFIRSTVISIBLELINE)); first != gFirstShown) {
        gFirstShown = first;
        ::InvalidateRect(gGutter, nullptr, TRUE);
      }
      return 0;
    case WM_NOTIFY:
      if (reinterpret_cast<NMHDR*>(lParam)->code == EN_SELCHANGE) UpdateStatus();
      return 0;
    case WM_COMMAND:
      if (reinterpret_cast<HWND>(lParam) == gEdit) {
        const WORD code = HIWORD(wParam);
        if (code == EN_CHANGE) TextChanged();
        if (code == EN_VSCROLL || code == EN_UPDATE) ::InvalidateRect(gGutter, nullptr, TRUE);
        return 0;
      }
      if (Command(LOWORD(wParam))) return 0;
      break;
    case WM_CLOSE:
      if (MayLeaveText()) ::DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      ::KillTimer(hwnd, kGutterTimer);
      ::PostQuitMessage(0);
      return 0;
    default: break;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

nuvedo::Box BoxOf(HWND w) {
  RECT r{};
  ::GetWindowRect(w, &r);
  return {r.left, r.top, r.right, r.bottom};
}

// Beside the workbench, or cascaded from it or from another editor.
RECT Placement(int width, int height) {
  HWND editor = ::FindWindowA(kClass, nullptr);
  HWND workbench = ::FindWindowA(kWorkbenchClass, nullptr);
  HWND anchor = editor ? editor : workbench;
  MONITORINFO mi{};
  mi.cbSize = sizeof(mi);
  ::GetMonitorInfoW(::MonitorFromWindow(anchor, MONITOR_DEFAULTTOPRIMARY), &mi);
  const nuvedo::Box area{mi.rcWork.left, mi.rcWork.top, mi.rcWork.right, mi.rcWork.bottom};
  const nuvedo::Box e = editor ? BoxOf(editor) : nuvedo::Box{};
  const nuvedo::Box w = workbench ? BoxOf(workbench) : nuvedo::Box{};
  const int step = ::GetSystemMetrics(SM_CYCAPTION) + ::GetSystemMetrics(SM_CYSIZEFRAME);
  const auto place = nuvedo::PlaceEditor(editor ? &e : nullptr, workbench ? &w : nullptr, width,
                                         height, width * 2 / 3, area, step);
  if (!place) return {CW_USEDEFAULT, CW_USEDEFAULT, width, height};
  return {place->left, place->top, place->Width(), place->Height()};
}

bool RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
  wc.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                               ::GetSystemMetrics(SM_CXSMICON),
                                               ::GetSystemMetrics(SM_CYSMICON), 0));
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"TQuorixClassTE";
  if (!::RegisterClassExW(&wc)) return false;
  WNDCLASSEXW gutter{};
  gutter.cbSize = sizeof(gutter);
  gutter.lpfnWndProc = GutterProc;
  gutter.hInstance = instance;
  gutter.hCursor = wc.hCursor;
  gutter.lpszClassName = kGutterClass;
  return ::RegisterClassExW(&gutter) != 0;
}

HACCEL MakeAccelerators() {
  ACCEL keys[] = {
      {FVIRTKEY | FCONTROL, 'N', kNew},       {FVIRTKEY | FCONTROL, 'O', kOpen},
      {FVIRTKEY | FCONTROL, 'S', kSave},      {FVIRTKEY | FCONTROL | FSHIFT, 'S', kSaveAs},
      {FVIRTKEY | FCONTROL, 'Z', kUndo},      {FVIRTKEY | FCONTROL, 'Y', kRedo},
      {FVIRTKEY | FCONTROL, 'X', kCut},       {FVIRTKEY | FCONTROL, 'C', kCopy},
      {FVIRTKEY | FCONTROL, 'V', kPaste},     {FVIRTKEY | FCONTROL, 'F', kFind},
      {FVIRTKEY, VK_F3, kFindNext},           {FVIRTKEY | FCONTROL, 'G', kGoTo},
      {FVIRTKEY | FCONTROL, 'A', kSelectAll},
  };
  return ::CreateAcceleratorTableW(keys, static_cast<int>(sizeof(keys) / sizeof(keys[0])));
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&icc);
  if (::LoadLibraryW(L"msftedit.dll") == nullptr) {
    ::MessageBoxA(nullptr, "The RichEdit control (msftedit.dll) is missing.", "Nuvedo",
                  MB_OK | MB_ICONERROR);
    return 1;
  }
  gFindMessage = ::RegisterWindowMessageW(FINDMSGSTRINGW);
  if (!RegisterClasses(instance)) return 1;
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  const RECT at = Placement(MulDiv(720, dpi, 96), MulDiv(560, dpi, 96));
  HWND main =
      ::CreateWindowExW(0, L"TQuorixClassTE", L"(untitled)", WS_OVERLAPPEDWINDOW, at.left, at.top,
                        at.right, at.bottom, nullptr, MakeMenu(), instance, nullptr);
  if (main == nullptr) return 1;

  const std::string file =
      __argc > 1 ? std::string(__argv[1]) : nuvedo::ProgramFolder() + kDefaultFile;
  if (!Open(file)) NewText();  // told why; an untitled text instead
  ::ShowWindow(main, show == 0 ? SW_SHOWNORMAL : show);
  ::UpdateWindow(main);

  HACCEL accel = MakeAccelerators();
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (gFindDialog != nullptr && ::IsDialogMessageW(gFindDialog, &msg)) continue;
    if (accel && ::TranslateAcceleratorW(gMain, accel, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  if (accel) ::DestroyAcceleratorTable(accel);
  if (gFont) ::DeleteObject(gFont);
  return static_cast<int>(msg.wParam);
}
