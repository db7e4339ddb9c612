// Fuzzes one tag's name, attribute parsing, predicates and rebuilt text: limits hold (names and
// unquoted values at most 72 bytes, quoted values at most max_quoted_value, at most
// max_attributes pairs) and nothing reads past the tag text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "text/html_tag.h"

using namespace orvalis;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 20)) return 0;
  Html_tag tag(reinterpret_cast<const char*>(data), static_cast<int>(size));
  if (tag.name().length() > Html_tag::max_name) std::abort();
  (void)tag.is_emphasis_start();
  (void)tag.is_emphasis_end();
  (void)tag.is_heading_start();
  (void)tag.is_heading_end();
  (void)tag.breaks_sentence();
  const Name_value_list& attributes = tag.attributes();
  if (attributes.count() > Html_tag::max_attributes) std::abort();
  for (const Name_value& a : attributes)
    if (a.name.empty() || a.name.length() > Html_tag::max_name ||
        a.value.length() > Html_tag::max_quoted_value)
      std::abort();
  (void)tag.has_attribute("href");
  tag.set_attribute("value", "a b\"c");
  Ref_string rebuilt = tag.text();
  // The rebuilt tag reads back with the same name.
  Html_tag again(rebuilt);
  if (!(again.name() == tag.name())) std::abort();
  return 0;
}
