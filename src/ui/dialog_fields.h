// What the dialogs of the topic, relation, organization, search resource and maintenance
// commands share: the conversions between the engine's text and Qt's, the limit of single-line
// fields (255 characters, counted as characters rather than bytes) and its refusal.
// Thread: any (pure functions).
#pragma once

#include <QString>
#include <string_view>

#include "foundation/ref_string.h"

namespace orvalis::ui {

inline constexpr int field_limit = 255;

inline QString to_qstring(const Ref_string& s) { return QString::fromUtf8(s.c_str(), s.length()); }
inline Ref_string to_ref(const QString& s) {
  QByteArray utf8 = s.toUtf8();
  return Ref_string(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}
// True when `s` holds more characters than a single-line field takes.
inline bool over_field_limit(const QString& s) { return s.toUcs4().size() > field_limit; }

}  // namespace orvalis::ui
