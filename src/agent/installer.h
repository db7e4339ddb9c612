// The installer: the first start of either front-end without a settings file lays out the
// per-user data folder ("InstallDir": $XDG_DATA_HOME/orvalis, else ~/.local/share/orvalis)
// from the data that ships with the program (LEXICON.DAT, the search resource definitions,
// pages/ with its images), makes engines/, and writes the settings that must exist before the
// first load: InstallDir, SearchResources, BrowserPath (xdg-open when present), BrowserDDE,
// UserName (the login name) and the other defaults. Values the user already has are kept;
// shipped files are copied when missing or when the shipped copy is newer.
// User-interface thread; REQUIRES: the settings store is open.
#pragma once

#include <string>
#include <vector>

namespace orvalis {

struct Install_report {
  bool ok = true;
  std::string install_dir;
  std::string shipped_dir;                    // where the copied data came from
  std::vector<std::string> settings_written;  // "Name=value"
  std::vector<std::string> files_copied;      // destination paths
  std::string error;                          // set when ok is false
};

// The per-user data folder.
std::string default_install_dir();
// Where the shipped data lives: $ORVALIS_SHIPPED_DATA, else <program>/../share/orvalis (the
// installed layout of any prefix), else
// the data/ folder of the source tree the program was built from.
std::string shipped_data_dir();
// True when the settings file of the program does not exist yet (a first start).
bool is_first_start();
// Lays out the data folder and writes the missing settings.
Install_report install();

}  // namespace orvalis
