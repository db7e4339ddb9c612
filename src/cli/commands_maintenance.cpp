// organize, compact and convert: organizing a topic into subtopics by the content of its
// documents (the new subtopics are searched at once, as `search` searches a topic), and the two
// operations on whole database files.
//
// The questions a desktop program asks in a box (compaction's "may take a few minutes", the
// conversion's "already exists") are asked on the terminal; --yes answers them. Without a
// terminal on standard input and without --yes the question is printed, nothing changes and the
// status is 1.
#include <unistd.h>

#include <iostream>
#include <string>

#include "agent/topic_organizer.h"
#include "cli/cli.h"
#include "cli/commands_agent.h"
#include "cli/json.h"
#include "database/maintenance.h"
#include "foundation/error_handler.h"

namespace orvalis::cli {

namespace {

Ref_string rs(const std::string& s) { return Ref_string(std::string_view(s)); }

// The user's answer to a yes-or-no question.
bool ask(Context& c, bool yes, const Ref_string& title, const Ref_string& question) {
  if (yes) return true;
  c.err << title << ": " << question << "\n";
  if (!::isatty(STDIN_FILENO)) {
    report_error("Not confirmed: there is no terminal to ask on (--yes answers yes).");
    return false;
  }
  c.err << "[y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

int status_of(Maintenance_result result) {
  switch (result) {
    case Maintenance_result::done:
      return 0;
    case Maintenance_result::declined:
    case Maintenance_result::failed:
      break;
  }
  return 1;
}

// Per-table progress on standard error: a line per table, rewritten in place on a terminal.
class Table_progress {
 public:
  explicit Table_progress(std::ostream& err) : err_(err), live_(::isatty(STDERR_FILENO)) {}
  ~Table_progress() { end_line(); }

  void operator()(const char* table, std::int64_t done, std::int64_t total) {
    if (table_ != table) {
      end_line();
      table_ = table;
    }
    done_ = done;
    total_ = total;
    if (live_) err_ << "\r" << line() << std::flush;
  }

 private:
  std::string line() const {
    return table_ + ": " + std::to_string(done_) + " of " + std::to_string(total_) + " rows";
  }
  void end_line() {
    if (table_.empty()) return;
    if (live_)
      err_ << "\r" << line() << "\n";
    else
      err_ << line() << "\n";
    table_.clear();
  }

  std::ostream& err_;
  bool live_;
  std::string table_;
  std::int64_t done_ = 0, total_ = 0;
};

int organize_list(Context& c, const Topic& topic) {
  std::vector<Organize_proposal> proposals = Topic_organizer::propose(topic);
  if (proposals.empty()) return 1;
  if (c.json) {
    Json_writer j(c.out);
    j.begin_array();
    for (const Organize_proposal& p : proposals)
      j.begin_object().field("label", p.label.view()).field("count", p.count).end_object();
    j.end_array().finish();
    return 0;
  }
  std::string text;
  for (const Organize_proposal& p : proposals) text += p.label.str() + "\n";
  c.out << text;
  return 0;
}

int organize_pick(Context& c, Topic& topic, const std::vector<std::string>& picks, bool inherit) {
  std::vector<Organize_proposal> proposals = Topic_organizer::propose(topic);
  if (proposals.empty()) return 1;
  std::vector<Ref_string> labels;
  for (const std::string& pick : picks) {
    bool offered = false;
    for (const Organize_proposal& p : proposals) offered = offered || p.label == rs(pick);
    if (!offered) {
      report_error(rs("'" + pick + "' is not among the proposals for '" + topic.name.str() +
                      "' ('organize " + topic.name.str() + "' lists them)."));
      return 1;
    }
    labels.push_back(rs(pick));
  }
  // The agent's new-topic hook submits a search of each new topic; this run carries them out
  // and prints what they found, as `search` does.
  Run_record record;
  std::vector<Topic_handle> made = Topic_organizer::make_subtopics(topic, labels, inherit);
  if (made.empty()) return 1;
  if (!c.json) {
    std::string text;
    for (const Topic_handle& t : made)
      text += std::to_string(t->concept_id) + "\t" + t->name.str() + "\n";
    c.out << text << std::flush;
  }
  if (!run_agent(c, Run_mode::until_idle)) return 1;
  if (!c.json) {
    report_found(c, record);
    return 0;
  }
  // Each new topic with the documents its search added.
  Json_writer j(c.out);
  j.begin_array();
  for (const Topic_handle& t : made) {
    std::vector<std::int32_t> ids;
    for (std::int32_t id : added_documents(record))
      if (record.found.at(id).concept_id == t->concept_id) ids.push_back(id);
    j.begin_object().field("id", t->concept_id).field("name", t->name.view()).key("documents");
    write_documents(j, ids, record);
    j.end_object();
  }
  j.end_array().finish();
  return 0;
}

}  // namespace

int cmd_organize(Context& c) {
  std::vector<std::string> picks = c.take_all("--pick");
  bool inherit = c.take_flag("--inherit");
  const std::string& key = c.arg(0, "topic");
  c.no_more_args(1);
  if (inherit && picks.empty()) throw Usage_error{"--inherit goes with --pick"};
  if (!c.open_database()) return 1;
  Topic_handle topic = lookup_topic(key);
  if (!topic) return 1;
  return picks.empty() ? organize_list(c, *topic) : organize_pick(c, *topic, picks, inherit);
}

int cmd_compact(Context& c) {
  bool yes = c.take_flag("--yes");
  const std::string& file = c.arg(0, "database file");
  c.no_more_args(1);
  Maintenance_prompts prompts;
  prompts.confirm = [&](const Ref_string& title, const Ref_string& question) {
    return ask(c, yes, title, question);
  };
  prompts.progress = [&](const char* step, std::int64_t, std::int64_t) {
    c.err << "Compacting: " << step << "\n";
  };
  Compaction_figures figures;
  Maintenance_result result = compact_database(rs(file), prompts, &figures);
  if (result == Maintenance_result::done)
    c.out << "Compacted " << file << ": " << figures.orphans_removed
          << " orphan documents removed, " << figures.size_before << " bytes before, "
          << figures.size_after << " bytes after.\n";
  return status_of(result);
}

int cmd_convert(Context& c) {
  bool yes = c.take_flag("--yes");
  const std::string& source = c.arg(0, "earlier database file");
  const std::string& target = c.arg(1, "new database file");
  c.no_more_args(2);
  Maintenance_prompts prompts;
  prompts.confirm = [&](const Ref_string& title, const Ref_string& question) {
    return ask(c, yes, title, question);
  };
  Maintenance_result result;
  {
    Table_progress progress(c.err);
    prompts.progress = [&](const char* table, std::int64_t done, std::int64_t total) {
      progress(table, done, total);
    };
    result = convert_database(rs(source), rs(target), prompts);
  }
  if (result == Maintenance_result::done) c.out << Ref_string::from_id(12021) << "\n";
  return status_of(result);
}

}  // namespace orvalis::cli
