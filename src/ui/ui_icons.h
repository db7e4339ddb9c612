// The window's icons. A command's icon is looked up in the desktop's icon theme by its
// freedesktop name; where the theme has no icon of that name, the copy shipped inside the
// program (24 and 48 pixels, so it stays sharp at 200%) stands in, so every tool bar shows an
// icon for every button under any theme. The program's own icon comes from the theme's
// "orvalis" entry, else from the installed or shipped data folder's icons.
// Thread: the user-interface thread (QIcon needs the QApplication).
#pragma once

#include <QIcon>

namespace orvalis::ui {

// The icon of the freedesktop name, from the theme or the program's own copy; a null icon
// when neither has it.
QIcon named_icon(const char* name);
// The icon of command `id` (Command_id); a null icon for a command that has none.
QIcon command_icon(int id);
// The freedesktop name of command `id`'s icon, or null.
const char* command_icon_name(int id);
// The program's own icon.
QIcon program_icon();

}  // namespace orvalis::ui
