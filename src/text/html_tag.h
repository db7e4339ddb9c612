// Html_tag is one tag of a page, from its "<" through its ">", as the scanner found it. It knows
// its lower-case name (worked out afresh from the text on every call) and parses its attributes
// once, on the first question about them. set_attribute changes the list, and from then on
// text() gives the tag rebuilt from its name and attributes instead of the text as found.
//
// Attribute rules: names are lower-cased and cut at 72 bytes; a quoted value is kept as written
// and cut at 8192 bytes, an unquoted one is lower-cased and cut at 72; the rest of a cut name or
// value is read as the next attribute. An attribute written without "=" has the empty value.
// Only the first max_attributes attributes are read. In an "a" tag, carriage returns and line feeds are removed from the href value. Cuts never
// split a UTF-8 character.
//
// Shared through Counted_handle (the tag collector keeps lists of them); one thread.
#pragma once

#include <string_view>

#include "foundation/counted_object.h"
#include "foundation/name_value_list.h"
#include "foundation/ref_list.h"
#include "foundation/ref_string.h"

namespace orvalis {

class Html_tag : public Counted_object {
 public:
  static constexpr int max_name = 72;
  // Quoted values are cut at this many bytes: room for an address of 2,048 characters.
  static constexpr int max_quoted_value = 8192;
  // Attributes read from one tag; the rest of a longer tag is not looked at (a hostile page
  // must not make one tag cost quadratic time).
  static constexpr int max_attributes = 256;

  explicit Html_tag(const Ref_string& text) : text_(text) {}
  // From the n bytes of a tag token; zero bytes in it are taken as blanks.
  Html_tag(const char* token, int n);

  Ref_string name() const;
  // The value of the attribute, or the empty string when the tag has none of that name.
  Ref_string attribute(const Ref_string& name) const;
  bool has_attribute(const Ref_string& name) const;
  // Replaces the value of the attribute of that name, or appends the attribute.
  void set_attribute(const Ref_string& name, const Ref_string& value);
  const Name_value_list& attributes() const;
  // The tag as found, or rebuilt once an attribute was set.
  Ref_string text() const;
  bool modified() const { return modified_; }

  // Index of the tag's "<" in its page (filled in by the tag collector; 0 otherwise).
  int offset = 0;

  // Predicates on the name, compared without regard to case.
  bool is(std::string_view name) const;
  bool is_emphasis_start() const;
  bool is_emphasis_end() const;
  bool is_heading_start() const;
  bool is_heading_end() const;
  bool breaks_sentence() const;

  // The same name rules on raw tag text, without building a tag: writes the lower-case name
  // (at most max_name bytes) to `out` and returns its length.
  static int name_of(const char* text, int n, char* out);
  // Headings, the title, line breaks and every block-level element (paragraphs, list items,
  // table cells, divisions, sections, ...) end a sentence; inline elements join their words.
  static bool name_breaks_sentence(std::string_view lower_name);
  // A block-level element's start or end tag: the text on either side never joins.
  static bool name_is_block(std::string_view lower_name);
  static bool name_is_emphasis_start(std::string_view lower_name);
  static bool name_is_emphasis_end(std::string_view lower_name);

 private:
  void parse_attributes() const;

  Ref_string text_;
  mutable Name_value_list attributes_;
  mutable bool parsed_ = false;
  bool modified_ = false;
};

using Html_tag_handle = Counted_handle<Html_tag>;
using Html_tag_list = Ref_list<Html_tag_handle>;

}  // namespace orvalis
