// install and settings commands.
#include <iostream>

#include "agent/application.h"
#include "agent/installer.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "foundation/error_handler.h"
#include "foundation/setting_ranges.h"
#include "foundation/settings.h"
#include "platform/registry_store.h"

namespace orvalis::cli {

int cmd_install(Context& c) {
  c.no_more_args(0);
  Install_report r = install();
  // The automatic first start ran just before this command: what it wrote is this install's.
  const Install_report& first = Application::instance().start_up_install();
  r.files_copied.insert(r.files_copied.begin(), first.files_copied.begin(), first.files_copied.end());
  r.settings_written.insert(r.settings_written.begin(), first.settings_written.begin(),
                            first.settings_written.end());
  load_settings();
  if (c.json) {
    Json_writer j(c.out);
    j.begin_object().field("ok", r.ok).field("install_dir", r.install_dir).field("shipped_data", r.shipped_dir);
    j.key("settings").begin_array();
    for (const std::string& s : r.settings_written) j.value(s);
    j.end_array().key("files").begin_array();
    for (const std::string& f : r.files_copied) j.value(f);
    j.end_array().end_object().finish();
  } else {
    c.out << "Data folder: " << r.install_dir << "\n";
    c.out << "Shipped data: " << r.shipped_dir << "\n";
    for (const std::string& f : r.files_copied) c.out << "copied " << f << "\n";
    for (const std::string& s : r.settings_written) c.out << "wrote " << s << "\n";
    if (r.files_copied.empty() && r.settings_written.empty()) c.out << "Everything was in place.\n";
    c.out << "Settings file: " << platform::Registry_store::instance().file_path() << "\n";
  }
  if (!r.ok) {
    report_error(Ref_string(std::string_view(r.error)));
    return 1;
  }
  return 0;
}

namespace {
// Values the window toolkit keeps in its own profile section rather than under the key.
bool is_profile_entry(const std::string& name) {
  return name == "ProxyEnabled" || name == "ShowWelcomeDialog" || name == "Cur_tip_count";
}
}  // namespace

int cmd_settings(Context& c) {
  const std::string& verb = c.arg(0, "settings command (list, get or set)");
  platform::Registry_store& store = platform::Registry_store::instance();
  if (verb == "list") {
    c.no_more_args(1);
    auto values = store.values();
    if (c.json) {
      Json_writer j(c.out);
      j.begin_object();
      for (const auto& [name, value] : values) j.field(name, value);
      j.end_object().finish();
    } else {
      for (const auto& [name, value] : values) c.out << name << "=" << value << "\n";
    }
    return 0;
  }
  if (verb == "get") {
    const std::string& name = c.arg(1, "setting name");
    c.no_more_args(2);
    if (is_profile_entry(name)) {
      c.out << profile_get_string(name.c_str(), "").str() << "\n";
      return 0;
    }
    if (!store.has(name)) {
      report_error(Ref_string(std::string_view("No setting named '" + name + "'.")));
      return 1;
    }
    if (c.json) {
      Json_writer j(c.out);
      j.begin_object().field(name, store.read(name)).end_object().finish();
    } else {
      c.out << store.read(name) << "\n";
    }
    return 0;
  }
  if (verb == "set") {
    const std::string& name = c.arg(1, "setting name");
    const std::string& value = c.arg(2, "value");
    c.no_more_args(3);
    if (!platform::Registry_store::valid_name(name))
      throw Usage_error{"the settings file cannot hold a setting named '" + name +
                        "': a name is not empty, does not begin with '#' and holds no '=' or line break"};
    // A number outside its setting's range would stop the agent (no connection allowed) or let
    // one page exhaust memory: refused here, naming the range.
    if (std::string problem = setting_value_problem(name, value); !problem.empty()) throw Usage_error{problem};
    if (is_profile_entry(name)) {
      profile_put_string(name.c_str(), Ref_string(std::string_view(value)));
      return 0;
    }
    return store.write(name, value) ? 0 : 1;
  }
  throw Usage_error{"unknown settings command '" + verb + "'"};
}

}  // namespace orvalis::cli
