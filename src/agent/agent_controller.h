// The agent controller drives the agent from the engine's event loop: a one-second tick that
// starts every due task the network admits (and, when the agent is idle, the topics'
// schedules whose time has come) and completes the summaries the background worker has
// finished; the status line's text; the check for schedules that came due while the program
// was not running; the question asked before a database closes; and the agent's share of the
// application's start-up, database open and close, and program end.
//
// The tick runs on whatever platform::Event_loop is current (the command line's epoll loop,
// later the window's Qt loop): start_agent_timer adds the repeating timer to it. A tick that
// is entered again while it runs (a modal dialog pumping events) returns at once.
// User-interface thread only.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "foundation/agent_task.h"
#include "foundation/ref_string.h"

namespace orvalis {

namespace platform {
class Event_loop;
}

// The time one event-loop turn may spend completing the worker's jobs (writing summaries).
inline constexpr std::chrono::milliseconds kFinish_jobs_budget{15};

// The time a tick may spend writing the search index's rows of documents stored since (when no
// finished job waits).
inline constexpr std::chrono::milliseconds kIndex_catch_up_budget{25};

// One tick: start every task pick_next gives, then complete and finish the worker's jobs in
// the order they finished, then, with no job left to finish, bring the search index up to date
// for a slice of time (kIndex_catch_up_budget). When the jobs take longer than kFinish_jobs_budget, the rest are
// finished in the following turns of the tick's loop (posted at once, not a second later);
// a tick called without the timer leaves them to the next tick.
void agent_tick();
// Sets the time a turn may spend on the worker's jobs (kFinish_jobs_budget until changed; 0
// finishes one job per turn). Returns the previous budget.
std::chrono::milliseconds set_finish_jobs_budget(std::chrono::milliseconds budget);
// Adds the tick to `loop` every `period_ms` (1000 for the program); returns the timer's id.
int start_agent_timer(platform::Event_loop& loop, int period_ms = 1000);
void stop_agent_timer();

// "Agent Idle", or "3 tasks active -- Searching 'X' for 'y'" with the first running (else the
// first queued) task's description.
Ref_string agent_status_text();

// For every topic with a schedule switched on: when the schedule came due since it last ran,
// stamps the topic's last time (saved) and makes a task due now; then registers the topic's
// recurrent tasks again. Returns the due tasks, which the caller submits or drops.
std::vector<Agent_task_handle> check_due_tasks();

// Before the database closes: with tasks queued or running, `confirm` is asked
// ("Closing the database will stop all currently running tasks. Continue?"); false refuses.
// `find_dialog_open` refuses with its own message.
bool may_close_database(const std::function<bool(const Ref_string& question)>& confirm,
                        bool find_dialog_open = false);

// Fills the application's hooks with the agent's share (start the worker, register the
// schedules after open, stop everything before close, stop the worker at the end) and
// installs stop_all as the database error reporter's recovery. `due_tasks` is what the front-end
// does with the due tasks after start-up (the window shows a dialog); without it no check is
// made at start-up (the command line makes it in "agent run").
void install_agent_hooks(std::function<void(std::vector<Agent_task_handle>)> due_tasks = {});

}  // namespace orvalis
