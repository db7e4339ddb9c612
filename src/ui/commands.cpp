#include "ui/commands.h"

#include "ui/ui_text.h"

namespace orvalis::ui {

namespace {

const Command_info kCommands[] = {
    {cmd_organize, "&Organize by Content", 8000, nullptr},
    {cmd_delete, "&Delete", 8001, nullptr},
    {cmd_view_in_browser, "&View URL/Topic in Browser", 8002, nullptr},
    {cmd_search_web, "&Search the Web", 8003, nullptr},
    {cmd_summarize, "S&ummarize", 8004, nullptr},
    {cmd_properties, "Propert&ies", 8005, nullptr},
    {cmd_select_relation, "Select R&elation", 8006, nullptr},
    {cmd_create_related_topic, "Create &Related Topic", 8007, nullptr},
    {cmd_follow_links, "&Follow Links", 8008, nullptr},
    {cmd_delete_relation, "Delete Re&lation", 8009, nullptr},
    {cmd_schedule_tasks, "Sc&hedule Tasks", 8012, nullptr},
    {cmd_view_scheduled, "View &Scheduled Topics in Browser", 8016, nullptr},
    {cmd_find, "&Find in Database", 8017, nullptr},
    {cmd_new_topic_wizard, "New Topic &Wizard", 8018, nullptr},
    {cmd_task_toolbar, "Tas&k Toolbar", 8020, nullptr},
    {cmd_quick_topics, "&Quick Topics", 8021, nullptr},
    {cmd_welcome_dialog, "&Welcome Dialog", 8024, nullptr},
    {cmd_add_document, "&Add Document", 0, ""},
    {cmd_options, "&Options...", 8030, nullptr},
    {cmd_edit_search_resources, "&Edit Search Resources", 8031, nullptr},
    {cmd_stop_all_tasks, "S&top All Tasks", 8032, nullptr},
    {cmd_drop_move, "&Move", 8033, nullptr},
    {cmd_drop_copy, "&Copy", 8034, nullptr},
    {cmd_drop_merge, "M&erge", 8035, nullptr},
    {cmd_open_saved_copy, "Open &Saved Copy", 0,
     "Open the copy of the document's page kept when the agent last read it\nOpen Saved Copy"},
    {cmd_file_new, "&New...", 0, "Create a new document\nNew"},
    {cmd_file_open, "&Open...", 0, "Open an existing document\nOpen"},
    {cmd_file_close, "&Close", 0, "Close the active document\nClose"},
    {cmd_print_setup, "Print Set&up...", 0, "Change the printer and printing options\nPage Setup"},
    {cmd_print, "&Print...", 0, "Print the active document\nPrint"},
    {cmd_print_preview, "Print Pre&view", 0, "Display full pages\nPrint Preview"},
    {cmd_recent_file, "", 0, "Open this document"},
    {cmd_copy, "&Copy", 0, "Copy the selection and put it on the Clipboard\nCopy"},
    {cmd_cut, "Cu&t", 0, "Cut the selection and put it on the Clipboard\nCut"},
    {cmd_paste, "&Paste", 0, "Relate a document or topic to the target topic\nPaste"},
    {cmd_new_window, "&New Window", 0, "Open another window for the active document\nNew Window"},
    {cmd_arrange, "&Arrange Icons", 0, "Arrange icons at the bottom of the window\nArrange Icons"},
    {cmd_cascade, "&Cascade", 0, "Arrange windows so they overlap\nCascade Windows"},
    {cmd_tile, "&Tile", 0, "Arrange windows as non-overlapping tiles\nTile Windows"},
    {cmd_about, "&About Orvalis...", 0,
     "Display program information, version number and copyright\nAbout"},
    {cmd_exit, "E&xit", 0, "Quit the application; prompts to save documents\nExit"},
    {cmd_help_contents, "&Help Topics", 0, "List Help topics\nHelp Topics"},
    {cmd_tutorial, "&Tutorial", 0, "Learn Orvalis step by step: Getting started\nTutorial"},
    {cmd_controls_toolbar, "&Toolbar", 0, "Show or hide the toolbar\nToggle ToolBar"},
    {cmd_status_bar, "Status &Bar", 0, "Show or hide the status bar\nToggle StatusBar"},
    {cmd_import, "&Import...", 0, "Convert a database of the earlier format\nImport"},
    {cmd_compact, "Co&mpact...", 0, "Compact a database file\nCompact"},
    {cmd_export_topics, "&Export...", 0,
     "Write topics to a JSON, OPML, Markdown or CSL-JSON file\nExport"},
    {cmd_import_topics, "&Import...", 0, "Merge the topics of a JSON or OPML file into this database\nImport"},
};

bool is_topic(Selection s) { return s == Selection::topic || s == Selection::related_topic; }

}  // namespace

const Command_info* command_info(int id) {
  for (const Command_info& c : kCommands)
    if (c.id == id) return &c;
  return nullptr;
}

QString command_prompt(const Command_info& info) {
  return info.prompt_id ? ui_text(info.prompt_id) : QString::fromUtf8(info.prompt);
}

bool command_enabled(int id, const Command_context& c) {
  const Command_info* info = command_info(id);
  if (!info) return false;
  switch (id) {
    // Always offered.
    case cmd_file_new:
    case cmd_file_open:
    case cmd_recent_file:
    case cmd_exit:
    case cmd_about:
    case cmd_controls_toolbar:
    case cmd_status_bar:
    case cmd_task_toolbar:
    case cmd_quick_topics:
    case cmd_welcome_dialog:
    case cmd_help_contents:
    case cmd_tutorial:
      return true;
    case cmd_file_close:
    case cmd_new_window:
    case cmd_print_setup:
      return c.database_open;
    case cmd_print:
    case cmd_print_preview:
    case cmd_arrange:
    case cmd_cascade:
    case cmd_tile:
      return c.database_open && c.topic_window;
    case cmd_delete:
      return c.database_open && (is_topic(c.selection) || c.selection == Selection::document);
    case cmd_properties:
      return c.database_open && (is_topic(c.selection) || c.selection == Selection::document);
    case cmd_delete_relation:  // on a topic: the user picks which relation
    case cmd_select_relation:
    case cmd_create_related_topic:
    case cmd_organize:
      return c.database_open && is_topic(c.selection);
    case cmd_import:
    case cmd_compact:  // whole files, offered while none is open
      return !c.database_open;
    case cmd_add_document:
      return c.database_open && is_topic(c.selection);
    case cmd_view_in_browser:
      return c.database_open && (is_topic(c.selection) || c.selection == Selection::document);
    case cmd_search_web:
      return c.database_open && c.agent_available && is_topic(c.selection);
    case cmd_stop_all_tasks:
      return c.agent_available && c.tasks_active > 0;
    case cmd_cut:
    case cmd_copy:
      return c.database_open && (is_topic(c.selection) || c.selection == Selection::document);
    case cmd_paste:
      return c.database_open && is_topic(c.selection) && c.clipboard_items;
    case cmd_summarize:
      return c.database_open && c.agent_available &&
             (is_topic(c.selection) || c.selection == Selection::document);
    case cmd_follow_links:
      return c.database_open && c.agent_available && c.selection == Selection::document;
    case cmd_open_saved_copy:
      return c.database_open && c.selection == Selection::document;
    case cmd_schedule_tasks:
      return c.database_open && c.agent_available && is_topic(c.selection);
    case cmd_drop_move:
    case cmd_drop_copy:
    case cmd_drop_merge:
      return c.database_open;
    default:
      return c.database_open;
  }
}

}  // namespace orvalis::ui
