// Shared pieces of the agent's commands: running the agent on the command line's loop with its
// status text as progress, and recording what a run found and summarized, to print it after.
// User-interface thread only.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/json.h"

namespace orvalis::cli {

// The agent's status text on standard error: on a terminal one line rewritten in place,
// elsewhere one line each time the text changes.
class Agent_progress {
 public:
  Agent_progress(std::ostream& err, bool terminal);
  ~Agent_progress();
  void update();
  void clear();

 private:
  std::ostream& err_;
  bool terminal_;
  bool shown_ = false;
  std::string last_;
};

// Listens to the agent while it lives: documents found for topics, summaries written, searches
// that every engine failed.
class Run_record {
 public:
  struct Found {
    std::int32_t concept_id = 0;
    bool new_to_database = false;
    bool added = false;  // a live link to the topic was made by this run
  };
  Run_record();
  ~Run_record();
  Run_record(const Run_record&) = delete;
  Run_record& operator=(const Run_record&) = delete;

  int added_count() const;
  // Documents whose page was fetched and analysed (of those added, when asked).
  int summarized_count(bool added_only) const;

  std::map<std::int32_t, Found> found;
  std::vector<std::int32_t> order;  // first found first
  std::map<std::int32_t, bool> summarized;
  std::vector<std::int32_t> summary_order;
  std::vector<std::string> failed_searches;  // which engines failed, and why
};

enum class Run_mode {
  until_idle,                  // one-shot commands: other topics' schedules stay quiet
  until_idle_with_schedules,   // agent run --once
  with_schedules,              // agent run: until SIGINT or SIGTERM
};

// What a run spent its time on.
struct Run_statistics {
  // Real time during which tasks waited and none ran: waiting for the spacing between two
  // requests to one host.
  double spacing_wait_seconds = 0;
};

// Runs the agent tick on the current loop. SIGINT or SIGTERM stops every task and returns
// false; otherwise true once the agent is idle (never, with schedules, but for a signal).
bool run_agent(Context& c, Run_mode mode, Run_statistics* statistics = nullptr);

std::string plural(int n, const char* one, const char* many);

// Title, address, key terms and extract of each document (--json: an array of objects).
void print_documents(Context& c, const std::vector<std::int32_t>& ids, const Run_record& record);
// The --json form of print_documents, as the next value of `j`.
void write_documents(Json_writer& j, const std::vector<std::int32_t>& ids, const Run_record& record);

// The documents the run linked to a topic, first found first.
std::vector<std::int32_t> added_documents(const Run_record& record);
// What `search` prints once the agent is idle: the documents the run added to their topics
// (--json: the array of them), then, as text, "N documents found, N new, N summarized".
void report_found(Context& c, const Run_record& record);

}  // namespace orvalis::cli
