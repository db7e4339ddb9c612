// The window's texts: the program's numbered texts from the string table as QStrings, a
// command prompt split into its status-bar part and its tool tip, and "%0".."%9" filled in.
// Any thread (the string table is immutable).
#pragma once

#include <QString>
#include <QStringList>

namespace orvalis::ui {

// The text numbered `id`; empty when the table has none.
QString ui_text(int id);
// `pattern` with "%0", "%1", ... replaced by `args` in order.
QString fill(const QString& pattern, const QStringList& args);

// A prompt "status text\ntool tip": the part before and the part after the line break (the
// tool tip is empty when there is no break).
QString prompt_status(const QString& prompt);
QString prompt_tip(const QString& prompt);

}  // namespace orvalis::ui
