#include "ui/ui_text.h"

#include "platform/string_table.h"

namespace orvalis::ui {

QString ui_text(int id) {
  const char* text = platform::load_string(id);
  return text ? QString::fromUtf8(text) : QString();
}

QString fill(const QString& pattern, const QStringList& args) {
  QString out;
  out.reserve(pattern.size());
  for (qsizetype i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1].isDigit()) {
      int n = pattern[i + 1].digitValue();
      if (n < args.size()) out += args[n];
      ++i;
      continue;
    }
    out += pattern[i];
  }
  return out;
}

QString prompt_status(const QString& prompt) { return prompt.section('\n', 0, 0); }

QString prompt_tip(const QString& prompt) {
  qsizetype cut = prompt.indexOf('\n');
  return cut < 0 ? QString() : prompt.mid(cut + 1);
}

}  // namespace orvalis::ui
