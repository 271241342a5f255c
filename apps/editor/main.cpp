// nuvedo: the companion text editor of the Quorix workbench.
//
// The workbench finds this editor's top-level window by its WM_CLASS class
// "TQuorixClassTE" and reads the window title as the path of the source to
// assemble, so the title is always exactly the absolute path of the file and
// nothing else. Modification state and messages live in the status bar.
#include <gtk/gtk.h>
#include <gtksourceview/gtksource.h>

#include <climits>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "file_io.h"
#include "text_codec.h"

namespace {

constexpr const char* kProgramName = "nuvedo";
constexpr const char* kWindowClass = "TQuorixClassTE";
constexpr const char* kLanguageId = "quorix-asm";
constexpr const char* kSchemeId = "quorix";
constexpr const char* kDataDirName = "nuvedo-data";

struct Editor {
  std::string path;         // canonical path in the file-system encoding
  std::string displayPath;  // the same path in UTF-8, for the title and messages
  nuvedo::LineEnd lineEnd = nuvedo::LineEnd::CrLf;
  nuvedo::Encoding encoding = nuvedo::Encoding::Utf8;
  GtkWidget* window = nullptr;
  GtkSourceBuffer* buffer = nullptr;
  GtkWidget* view = nullptr;
  GtkWidget* stateLabel = nullptr;
  GtkWidget* messageLabel = nullptr;
  GtkWidget* infoLabel = nullptr;
};

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: %s FILE\n"
               "Edits FILE (created empty when missing). Ctrl+S saves, Ctrl+Q quits.\n",
               kProgramName);
}

// Owns a g_malloc'ed string.
struct GFreeStr {
  gchar* p;
  explicit GFreeStr(gchar* s) : p(s) {}
  ~GFreeStr() { g_free(p); }
  GFreeStr(const GFreeStr&) = delete;
  GFreeStr& operator=(const GFreeStr&) = delete;
};

std::string ToDisplay(const std::string& path) {
  GFreeStr utf8(g_filename_to_utf8(path.c_str(), -1, nullptr, nullptr, nullptr));
  if (utf8.p != nullptr) return utf8.p;
  GFreeStr shown(g_filename_display_name(path.c_str()));
  return shown.p;
}

// Directories holding quorix-asm.lang and quorix.xml: next to the binary
// first, then the source directory it was built from.
std::vector<std::string> DataDirs() {
  std::vector<std::string> dirs;
  GFreeStr exe(g_file_read_link("/proc/self/exe", nullptr));
  if (exe.p != nullptr) {
    GFreeStr dir(g_path_get_dirname(exe.p));
    dirs.push_back(std::string(dir.p) + "/" + kDataDirName);
  }
#ifdef NUVEDO_SOURCE_DATA_DIR
  dirs.emplace_back(NUVEDO_SOURCE_DATA_DIR);
#endif
  return dirs;
}

void AddSearchPaths() {
  const std::vector<std::string> dirs = DataDirs();

  GtkSourceLanguageManager* lm = gtk_source_language_manager_get_default();
  std::vector<const gchar*> paths;
  paths.reserve(dirs.size() + 8);
  for (const auto& d : dirs) paths.push_back(d.c_str());
  for (const gchar* const* old = gtk_source_language_manager_get_search_path(lm); old && *old;
       ++old) {
    paths.push_back(*old);
  }
  paths.push_back(nullptr);
  // The manager copies the list before releasing its old one.
  gtk_source_language_manager_set_search_path(lm, const_cast<gchar**>(paths.data()));

  GtkSourceStyleSchemeManager* sm = gtk_source_style_scheme_manager_get_default();
  for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) {
    gtk_source_style_scheme_manager_prepend_search_path(sm, it->c_str());
  }
}

void SetLabelMarkup(GtkWidget* label, const std::string& text, const char* color) {
  GFreeStr escaped(g_markup_escape_text(text.c_str(), -1));
  std::string markup = escaped.p;
  if (color != nullptr)
    markup =
        std::string("<span foreground=\"") + color + "\" weight=\"bold\">" + markup + "</span>";
  gtk_label_set_markup(GTK_LABEL(label), markup.c_str());
}

// The label may be cut short; its tooltip keeps the whole text.
void ShowMessage(Editor& ed, const std::string& text) {
  SetLabelMarkup(ed.messageLabel, text, nullptr);
  gtk_widget_set_tooltip_text(ed.messageLabel, text.empty() ? nullptr : text.c_str());
}

void ShowError(Editor& ed, const std::string& text) {
  SetLabelMarkup(ed.messageLabel, text, "#B00000");
  gtk_widget_set_tooltip_text(ed.messageLabel, text.c_str());
  GtkWidget* dialog =
      gtk_message_dialog_new(GTK_WINDOW(ed.window), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                             GTK_BUTTONS_CLOSE, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), "nuvedo");
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

void UpdateState(Editor& ed) {
  if (gtk_text_buffer_get_modified(GTK_TEXT_BUFFER(ed.buffer))) {
    SetLabelMarkup(ed.stateLabel, "Modified", "#B05000");
  } else {
    SetLabelMarkup(ed.stateLabel, "Saved", nullptr);
  }
}

void UpdateInfo(Editor& ed) {
  GtkTextBuffer* buf = GTK_TEXT_BUFFER(ed.buffer);
  GtkTextIter it;
  gtk_text_buffer_get_iter_at_mark(buf, &it, gtk_text_buffer_get_insert(buf));
  const guint col = gtk_source_view_get_visual_column(GTK_SOURCE_VIEW(ed.view), &it) + 1;
  GFreeStr info(g_strdup_printf("Ln %d, Col %u    %s    %s", gtk_text_iter_get_line(&it) + 1, col,
                                nuvedo::LineEndName(ed.lineEnd),
                                nuvedo::EncodingName(ed.encoding)));
  gtk_label_set_text(GTK_LABEL(ed.infoLabel), info.p);
}

bool Save(Editor& ed) {
  GtkTextBuffer* buf = GTK_TEXT_BUFFER(ed.buffer);
  GtkTextIter start;
  GtkTextIter end;
  gtk_text_buffer_get_bounds(buf, &start, &end);
  GFreeStr text(gtk_text_buffer_get_text(buf, &start, &end, TRUE));

  const nuvedo::EncodeResult out = nuvedo::EncodeFile(text.p, ed.lineEnd, ed.encoding);
  if (out.failure) {
    GFreeStr msg(g_strdup_printf(
        "Not saved: the character U+%04X at line %zu, column %zu cannot be written in %s. "
        "The file on disk is unchanged.",
        static_cast<unsigned>(out.failure->codePoint), out.failure->line, out.failure->column,
        nuvedo::EncodingName(ed.encoding)));
    ShowError(ed, msg.p);
    return false;
  }
  const nuvedo::IoStatus st = nuvedo::WriteFileAtomically(ed.path, out.bytes);
  if (!st.Ok()) {
    ShowError(ed, "Not saved: " + ToDisplay(st.error) + ". The file on disk is unchanged.");
    return false;
  }
  gtk_text_buffer_set_modified(buf, FALSE);
  GDateTime* now = g_date_time_new_now_local();
  GFreeStr when(g_date_time_format(now, "%H:%M:%S"));
  g_date_time_unref(now);
  GFreeStr msg(g_strdup_printf("Saved %zu bytes at %s", out.bytes.size(), when.p));
  ShowMessage(ed, msg.p);
  return true;
}

// True when the window may close: nothing unsaved, the user saved, or the
// user chose to discard the changes.
bool ConfirmClose(Editor& ed) {
  if (!gtk_text_buffer_get_modified(GTK_TEXT_BUFFER(ed.buffer))) return true;
  GtkWidget* dialog =
      gtk_message_dialog_new(GTK_WINDOW(ed.window), GTK_DIALOG_MODAL, GTK_MESSAGE_QUESTION,
                             GTK_BUTTONS_NONE, "Save the changes to %s?", ed.displayPath.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), "nuvedo");
  gtk_dialog_add_buttons(GTK_DIALOG(dialog), "Close _without Saving", GTK_RESPONSE_REJECT,
                         "_Cancel", GTK_RESPONSE_CANCEL, "_Save", GTK_RESPONSE_ACCEPT, nullptr);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
  const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  if (response == GTK_RESPONSE_ACCEPT) return Save(ed);
  return response == GTK_RESPONSE_REJECT;
}

gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto& ed = *static_cast<Editor*>(data);
  const guint mods = event->state & gtk_accelerator_get_default_mod_mask() & ~GDK_SHIFT_MASK;
  if (mods != GDK_CONTROL_MASK) return FALSE;
  switch (gdk_keyval_to_lower(event->keyval)) {
    case GDK_KEY_s: Save(ed); return TRUE;
    case GDK_KEY_q:
      if (ConfirmClose(ed)) gtk_widget_destroy(ed.window);
      return TRUE;
    default: return FALSE;
  }
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  return ConfirmClose(*static_cast<Editor*>(data)) ? FALSE : TRUE;
}

void OnDestroy(GtkWidget*, gpointer) { gtk_main_quit(); }

void OnModifiedChanged(GtkTextBuffer*, gpointer data) { UpdateState(*static_cast<Editor*>(data)); }

void OnCursorMoved(GObject*, GParamSpec*, gpointer data) {
  UpdateInfo(*static_cast<Editor*>(data));
}

// Startup failures after the display is open: say it on stderr and in a dialog.
int FailStartup(const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", kProgramName, text.c_str());
  GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                             GTK_BUTTONS_CLOSE, "%s", text.c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), "nuvedo");
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  return 1;
}

void BuildWindow(Editor& ed) {
  ed.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(ed.window), ed.displayPath.c_str());
  gtk_window_set_default_size(GTK_WINDOW(ed.window), 700, 600);

  ed.view = gtk_source_view_new_with_buffer(ed.buffer);
  GtkSourceView* sv = GTK_SOURCE_VIEW(ed.view);
  gtk_source_view_set_show_line_numbers(sv, TRUE);
  gtk_source_view_set_highlight_current_line(sv, TRUE);
  gtk_source_view_set_auto_indent(sv, TRUE);
  gtk_source_view_set_tab_width(sv, 8);
  gtk_source_view_set_smart_home_end(sv, GTK_SOURCE_SMART_HOME_END_BEFORE);
  gtk_text_view_set_monospace(GTK_TEXT_VIEW(ed.view), TRUE);
  gtk_text_view_set_left_margin(GTK_TEXT_VIEW(ed.view), 4);

  GtkCssProvider* css = gtk_css_provider_new();
  gtk_css_provider_load_from_data(css, "textview { font-family: Monospace; font-size: 11pt; }", -1,
                                  nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(ed.view), GTK_STYLE_PROVIDER(css),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(css);

  GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
  gtk_container_add(GTK_CONTAINER(scroll), ed.view);
  gtk_widget_set_vexpand(scroll, TRUE);

  ed.stateLabel = gtk_label_new(nullptr);
  ed.messageLabel = gtk_label_new(nullptr);
  gtk_label_set_xalign(GTK_LABEL(ed.messageLabel), 0.0f);
  gtk_label_set_ellipsize(GTK_LABEL(ed.messageLabel), PANGO_ELLIPSIZE_END);
  gtk_widget_set_hexpand(ed.messageLabel, TRUE);
  ed.infoLabel = gtk_label_new(nullptr);

  GtkWidget* status = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  gtk_widget_set_margin_start(status, 6);
  gtk_widget_set_margin_end(status, 6);
  gtk_widget_set_margin_top(status, 3);
  gtk_widget_set_margin_bottom(status, 3);
  gtk_box_pack_start(GTK_BOX(status), ed.stateLabel, FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(status), ed.messageLabel, TRUE, TRUE, 0);
  gtk_box_pack_end(GTK_BOX(status), ed.infoLabel, FALSE, FALSE, 0);

  GtkWidget* vbox = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  gtk_box_pack_start(GTK_BOX(vbox), scroll, TRUE, TRUE, 0);
  gtk_box_pack_start(GTK_BOX(vbox), gtk_separator_new(GTK_ORIENTATION_HORIZONTAL), FALSE, FALSE, 0);
  gtk_box_pack_start(GTK_BOX(vbox), status, FALSE, FALSE, 0);
  gtk_container_add(GTK_CONTAINER(ed.window), vbox);

  g_signal_connect(ed.window, "key-press-event", G_CALLBACK(OnKeyPress), &ed);
  g_signal_connect(ed.window, "delete-event", G_CALLBACK(OnDelete), &ed);
  g_signal_connect(ed.window, "destroy", G_CALLBACK(OnDestroy), nullptr);
  g_signal_connect(ed.buffer, "modified-changed", G_CALLBACK(OnModifiedChanged), &ed);
  g_signal_connect(ed.buffer, "notify::cursor-position", G_CALLBACK(OnCursorMoved), &ed);
}

}  // namespace

// The source buffer with its highlighting and the document's text, not
// undoable and unmodified. Returns a notice when no highlighting was found.
std::string FillBuffer(Editor& ed, const nuvedo::DecodedText& doc) {
  AddSearchPaths();
  ed.buffer = gtk_source_buffer_new(nullptr);
  std::string notice;
  if (GtkSourceLanguage* lang = gtk_source_language_manager_get_language(
          gtk_source_language_manager_get_default(), kLanguageId)) {
    gtk_source_buffer_set_language(ed.buffer, lang);
  } else {
    notice = "No highlighting: quorix-asm.lang was not found. ";
  }
  if (GtkSourceStyleScheme* scheme = gtk_source_style_scheme_manager_get_scheme(
          gtk_source_style_scheme_manager_get_default(), kSchemeId)) {
    gtk_source_buffer_set_style_scheme(ed.buffer, scheme);
  }
  gtk_source_buffer_set_highlight_matching_brackets(ed.buffer, TRUE);

  GtkTextBuffer* buf = GTK_TEXT_BUFFER(ed.buffer);
  gtk_source_buffer_begin_not_undoable_action(ed.buffer);
  gtk_text_buffer_set_text(buf, doc.text.data(), static_cast<gint>(doc.text.size()));
  gtk_source_buffer_end_not_undoable_action(ed.buffer);
  GtkTextIter start;
  gtk_text_buffer_get_start_iter(buf, &start);
  gtk_text_buffer_place_cursor(buf, &start);
  gtk_text_buffer_set_modified(buf, FALSE);
  return notice;
}

int main(int argc, char** argv) {
  g_set_prgname(kProgramName);
  const bool haveDisplay = gtk_init_check(&argc, &argv);  // strips GTK's own options either way
  // GDK takes the WM_CLASS class of every toplevel from the program class.
  // gtk_init derives it from the program name, so it is set afterwards,
  // before any window exists (this also overrides a --class option).
  gdk_set_program_class(kWindowClass);

  std::vector<std::string> files;
  bool optionsDone = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!optionsDone && arg == "--") {
      optionsDone = true;
    } else if (!optionsDone && (arg == "-h" || arg == "--help")) {
      PrintUsage(stdout);
      return 0;
    } else if (!optionsDone && arg.size() > 1 && arg.front() == '-') {
      std::fprintf(stderr, "%s: unknown option %s\n", kProgramName, argv[i]);
      PrintUsage(stderr);
      return 2;
    } else {
      files.emplace_back(arg);
    }
  }
  if (files.size() != 1) {
    PrintUsage(stderr);
    return 2;
  }
  if (!haveDisplay) {
    const char* display = g_getenv("DISPLAY");
    std::fprintf(stderr, "%s: cannot open the X display%s%s%s; nuvedo needs a graphical session\n",
                 kProgramName, display ? " \"" : " (DISPLAY is not set)", display ? display : "",
                 display ? "\"" : "");
    return 1;
  }

  GFreeStr cwd(g_get_current_dir());
  const nuvedo::ResolvedPath resolved = nuvedo::ResolveFile(files.front(), cwd.p);
  if (!resolved.status.Ok()) return FailStartup(ToDisplay(resolved.status.error));

  std::string bytes;
  if (const auto st = nuvedo::ReadFile(resolved.path, bytes); !st.Ok())
    return FailStartup(ToDisplay(st.error));
  nuvedo::DecodeResult decoded = nuvedo::DecodeFile(bytes);
  if (!decoded.decoded) {
    return FailStartup(ToDisplay(resolved.path) + ": " + decoded.error + " (byte offset " +
                       std::to_string(decoded.errorOffset) + "); it was not opened");
  }
  const nuvedo::DecodedText& doc = *decoded.decoded;
  if (doc.text.size() > static_cast<std::size_t>(INT_MAX) ||
      !g_utf8_validate(doc.text.data(), static_cast<gssize>(doc.text.size()), nullptr)) {
    return FailStartup(ToDisplay(resolved.path) +
                       ": the file cannot be shown as text; it was not opened");
  }

  Editor ed;
  ed.path = resolved.path;
  ed.displayPath = ToDisplay(resolved.path);
  ed.lineEnd = doc.lineEnd;
  ed.encoding = doc.encoding;

  std::string notice = FillBuffer(ed, doc);
  BuildWindow(ed);
  UpdateState(ed);
  UpdateInfo(ed);
  if (resolved.created) notice += "New file. ";
  if (doc.mixedLineEnds) {
    notice += std::string("Mixed line ends: saving writes ") + nuvedo::LineEndName(ed.lineEnd) +
              " throughout.";
  }
  ShowMessage(ed, notice);

  gtk_widget_show_all(ed.window);
  gtk_widget_grab_focus(ed.view);
  gtk_main();
  g_object_unref(ed.buffer);
  return 0;
}
