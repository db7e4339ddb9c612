// The window's commands: each with its number, menu label and prompt (status-bar text, then
// the tool tip after a line break), and the rule that says when it is offered. The agent's,
// the organizer's and the page writer's commands are numbered as the rest of the program
// numbers them; the frame's standard commands (new, open, print, cut, window, help...) use
// the toolkit's customary numbers and prompts.
// Thread: the user-interface thread.
#pragma once

#include <QString>

namespace orvalis::ui {

enum Command_id : int {
  cmd_organize = 8000,
  cmd_delete = 8001,
  cmd_view_in_browser = 8002,
  cmd_search_web = 8003,
  cmd_summarize = 8004,
  cmd_properties = 8005,
  cmd_select_relation = 8006,
  cmd_create_related_topic = 8007,
  cmd_follow_links = 8008,
  cmd_delete_relation = 8009,
  cmd_schedule_tasks = 8012,
  cmd_view_scheduled = 8016,
  cmd_find = 8017,
  cmd_new_topic_wizard = 8018,
  cmd_task_toolbar = 8020,
  cmd_quick_topics = 8021,
  cmd_welcome_dialog = 8024,
  cmd_add_document = 8026,
  cmd_options = 8030,
  cmd_edit_search_resources = 8031,
  cmd_stop_all_tasks = 8032,
  cmd_drop_move = 8033,
  cmd_drop_copy = 8034,
  cmd_drop_merge = 8035,
  cmd_open_saved_copy = 8040,
  // The frame's standard commands.
  cmd_file_new = 57600,
  cmd_file_open = 57601,
  cmd_file_close = 57602,
  cmd_print_setup = 57606,
  cmd_print = 57607,
  cmd_print_preview = 57609,
  cmd_recent_file = 57616,  // the first of four
  cmd_copy = 57634,
  cmd_cut = 57635,
  cmd_paste = 57637,
  cmd_new_window = 57648,
  cmd_arrange = 57649,
  cmd_cascade = 57650,
  cmd_tile = 57651,
  cmd_about = 57664,
  cmd_exit = 57665,
  cmd_help_contents = 57667,
  cmd_tutorial = 57668,
  cmd_controls_toolbar = 59392,
  cmd_status_bar = 59393,
  cmd_import = 59500,
  cmd_compact = 59501,
  cmd_export_topics = 59502,
  cmd_import_topics = 59503,
};

// What a command's rule looks at.
enum class Selection { none, root_folder, topic, related_topic, document };

struct Command_context {
  bool database_open = false;
  Selection selection = Selection::none;
  bool topic_window = false;    // a topic window is active
  bool agent_available = false; // the agent accepts work (task manager present)
  int tasks_active = 0;
  bool clipboard_items = false;  // the clipboard holds topics or documents of ours
};

struct Command_info {
  int id;
  const char* label;   // menu label with its "&" key
  int prompt_id;       // the prompt's number in the string table, or 0
  const char* prompt;  // the prompt when it is not in the string table
};

// The command numbered `id`; null when there is none.
const Command_info* command_info(int id);
// The command's prompt ("status\ntip"), from the string table where it is numbered there.
QString command_prompt(const Command_info& info);
// Whether the command is offered in `context`.
bool command_enabled(int id, const Command_context& context);

}  // namespace orvalis::ui
