// What the dialogs of the topic, relation, organization, search resource and maintenance
// commands share: the conversions between the engine's text and Qt's, the limit of single-line
// fields (255 characters, counted as characters rather than bytes or UTF-16 units, as the
// engine and the CLI count them) and its refusal.
// Thread: the conversions any; limit_to_field the user-interface thread.
#pragma once

#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QString>
#include <string_view>

#include "foundation/character_count.h"
#include "foundation/ref_string.h"

namespace orvalis::ui {

inline constexpr int field_limit = static_cast<int>(max_field_characters);

inline QString to_qstring(const Ref_string& s) { return QString::fromUtf8(s.c_str(), s.length()); }
inline Ref_string to_ref(const QString& s) {
  QByteArray utf8 = s.toUtf8();
  return Ref_string(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}
// True when `s` holds more characters than a single-line field takes.
inline bool over_field_limit(const QString& s) { return s.toUcs4().size() > field_limit; }

// Holds `edit` to field_limit characters as typed or pasted. QLineEdit's own maximum counts
// UTF-16 units, which would stop a name written in letters beyond U+FFFF at half its length;
// the pattern's "." is one character (code point). Text set by the program is not cut: the
// refusal at OK (over_field_limit) covers it.
inline void limit_to_field(QLineEdit* edit) {
  static const QRegularExpression pattern(
      QStringLiteral("\\A.{0,%1}\\z").arg(field_limit), QRegularExpression::DotMatchesEverythingOption);
  edit->setMaxLength(2 * field_limit);
  edit->setValidator(new QRegularExpressionValidator(pattern, edit));
}

}  // namespace orvalis::ui
