#include "ui/ui_icons.h"

#include <QDir>
#include <QFileInfo>

#include "agent/installer.h"
#include "ui/commands.h"

// Resources of a static library are registered by name, outside any namespace.
static void register_icon_resources() { Q_INIT_RESOURCE(icons); }

namespace orvalis::ui {

namespace {

struct Command_icon {
  int id;
  const char* name;
};

// The commands that desktop programs show with an icon, and the freedesktop name of it.
constexpr Command_icon kCommand_icons[] = {
    {cmd_file_new, "document-new"},
    {cmd_file_open, "document-open"},
    {cmd_file_close, "window-close"},
    {cmd_print, "document-print"},
    {cmd_print_preview, "document-print-preview"},
    {cmd_print_setup, "document-page-setup"},
    {cmd_exit, "application-exit"},
    {cmd_cut, "edit-cut"},
    {cmd_copy, "edit-copy"},
    {cmd_paste, "edit-paste"},
    {cmd_delete, "edit-delete"},
    {cmd_find, "edit-find"},
    {cmd_properties, "document-properties"},
    {cmd_add_document, "bookmark-new"},
    {cmd_view_in_browser, "web-browser"},
    {cmd_view_scheduled, "go-jump"},
    {cmd_new_topic_wizard, "folder-new"},
    {cmd_create_related_topic, "list-add"},
    {cmd_search_web, "system-search"},
    {cmd_summarize, "format-justify-fill"},
    {cmd_follow_links, "insert-link"},
    {cmd_organize, "view-sort-ascending"},
    {cmd_schedule_tasks, "appointment-new"},
    {cmd_stop_all_tasks, "process-stop"},
    {cmd_edit_search_resources, "edit-find-replace"},
    {cmd_options, "preferences-system"},
    {cmd_new_window, "window-new"},
    {cmd_about, "help-about"},
    {cmd_help_contents, "help-contents"},
    {cmd_tutorial, "help-browser"},
    {cmd_compact, "document-save-as"},
};

QIcon shipped_icon(const char* name) {
  static const bool registered = (register_icon_resources(), true);
  (void)registered;
  QIcon icon;
  for (int size : {24, 48}) {
    QString file = QStringLiteral(":/orvalis/icons/%1x%1/%2.png").arg(size).arg(QLatin1String(name));
    if (QFileInfo::exists(file)) icon.addFile(file, QSize(size, size));
  }
  return icon;
}

}  // namespace

QIcon named_icon(const char* name) { return QIcon::fromTheme(QLatin1String(name), shipped_icon(name)); }

const char* command_icon_name(int id) {
  for (const Command_icon& c : kCommand_icons)
    if (c.id == id) return c.name;
  return nullptr;
}

QIcon command_icon(int id) {
  const char* name = command_icon_name(id);
  return name ? named_icon(name) : QIcon();
}

QIcon program_icon() {
  QIcon icon = QIcon::fromTheme("orvalis");
  if (!icon.isNull()) return icon;
  // The installed data folder, else the one shipped beside the program.
  QString data = QString::fromStdString(shipped_data_dir());
  QDir sizes(data + "/icons/hicolor");
  for (const QString& size : sizes.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QString file = sizes.filePath(size + "/apps/orvalis.png");
    if (QFileInfo::exists(file)) icon.addFile(file);
  }
  if (QFileInfo::exists(data + "/icons/orvalis.svg")) icon.addFile(data + "/icons/orvalis.svg");
  return icon;
}

}  // namespace orvalis::ui
