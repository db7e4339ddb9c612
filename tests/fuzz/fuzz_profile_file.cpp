// Fuzzes the profile (INI) reader and the search resource definitions built on it with arbitrary
// file contents: no read or write past a buffer, the 4096-character limits hold, no value keeps
// a zero byte, and the settings parsers take any text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "database/resource_definitions.h"
#include "platform/profile_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  orvalis::platform::Profile_file file;
  file.parse(text);

  std::size_t listed = 1;
  for (const std::string& name : file.section_names()) {
    listed += name.size() + 1;
    if (name.empty() || name.find('\0') != std::string::npos) std::abort();
    for (const char* key : {"Location", "FieldValues", "enabled", ""}) {
      std::string value = file.get_string(name, key);
      if (value.size() > orvalis::platform::Profile_file::max_value_length) std::abort();
      if (value.find('\0') != std::string::npos) std::abort();
    }
  }
  if (listed > orvalis::platform::Profile_file::buffer_size) std::abort();

  orvalis::Ref_list<orvalis::Search_resource_handle> all = orvalis::read_definitions(file);
  for (const orvalis::Search_resource_handle& r : all) {
    (void)orvalis::encode_field_values(r->field_values);
    (void)r->location.host();
  }

  // The same bytes as the two settings strings.
  std::string clean(text.substr(0, text.find('\0')));
  orvalis::Ref_string config{std::string_view(clean)};
  int mode = orvalis::query_transformation_mode(config, "http://search.example.com/q");
  if (mode < 0 || mode > 2) std::abort();
  (void)orvalis::advertisement_match(config, "http://search.example.com/q",
                                     "http://img.example.com/ads/banner.gif");
  return 0;
}
