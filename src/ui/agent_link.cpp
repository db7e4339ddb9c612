#include "ui/agent_link.h"

#include "platform/string_table.h"

namespace orvalis::ui {

std::string Idle_agent::status_text() {
  static const std::string idle = platform::load_string(18044);  // loaded once and kept
  return idle;
}

}  // namespace orvalis::ui
