// Showing pages in the user's own web browser. The browser is the executable named by the
// setting BrowserPath; an address is opened by starting that executable with the address as its
// one argument. A browser that is already running hands the address to its running instance,
// which opens it in a new tab: that is the remote control this platform offers, so there is no
// separate "activate the running browser" step.
//
// The browser is started detached: through /bin/sh, which puts it in the background and exits
// at once; we reap that shell by its process id only, so no zombie is left and no other child
// of the program is waited for. The browser then belongs to init, not to us.
//
// The options page's rules are plain functions here so the window and the command line share
// them: which choice a path stands for, the service name derived from it, and the checks with
// their messages.
//
// Any thread; open_address reads the settings cache (the user-interface thread's).
#pragma once

#include "foundation/ref_string.h"

namespace orvalis {

// The choices of the options page. The first three keep their numbers; Firefox and Chromium
// are the browsers of today's desktops.
enum class Browser_choice { internet_explorer = 0, netscape = 1, other = 2, firefox = 3, chromium = 4 };

// The label shown for a choice.
const char* browser_choice_label(Browser_choice choice);

// The executable's file name up to its first ".", lower-cased ("/usr/bin/Firefox.sh" gives
// "firefox"); this is also what BrowserDDE holds.
Ref_string browser_service_name(const Ref_string& browser_path);

// The choice the page shows for an executable: Internet Explorer for "iexplore", Netscape
// Navigator for "netscape", Firefox for "firefox" and "firefox-esr", Chromium for "chromium"
// and "chromium-browser"; Other Browser for anything else, the empty path included.
Browser_choice browser_choice(const Ref_string& browser_path);

// Setting a path on the options page: the path must name a file that can be opened for
// reading (a name without "/" is looked up on PATH, so "firefox" is a path). Returns the empty string when it can, else "Please pick a browser using the Browse
// button." and the caller clears BrowserPath and BrowserDDE.
Ref_string check_browser_path(const Ref_string& browser_path);

// Confirming the options: empty when the executable is found (a name without "/" is looked up
// on PATH), else the question "The browser executable ... cannot be located. Do you want to
// keep the changes?" filled with the path.
Ref_string confirm_browser_question(const Ref_string& browser_path);

// Before a capture: empty when BrowserPath is set, else "You must select a browser before
// capturing a search resource."
Ref_string capture_browser_check(const Ref_string& browser_path);

// Whether the executable can be started: an absolute or relative path to an executable file,
// or a bare name found executable on PATH.
bool browser_executable_found(const Ref_string& browser_path);

// Starts `browser_path` with `address` as its one argument, detached. Returns false when the
// path is empty or the start failed (the browser itself is not waited for).
bool start_browser(const Ref_string& browser_path, const Ref_string& address);

// Opens the address in the browser of the settings (BrowserPath). An empty BrowserPath fails
// silently, as the options page is where the user is told to pick a browser. Returns 1.
int open_address(const Ref_string& address);

}  // namespace orvalis
