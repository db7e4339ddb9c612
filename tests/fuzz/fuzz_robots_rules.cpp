// Fuzzes robots.txt reading and matching: any file and any path are read without a fault, in
// time bounded by their lengths, and "/robots.txt" stays allowed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/robots_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The last line is the path asked about; the rest is the file.
  const size_t line = bytes.rfind('\n');
  const std::string_view file = line == std::string_view::npos ? bytes : bytes.substr(0, line);
  const std::string_view path = line == std::string_view::npos ? std::string_view("/") : bytes.substr(line + 1);
  const orvalis::Robots_rules rules = orvalis::Robots_rules::parse(file);
  (void)rules.allowed(path);
  (void)rules.crawl_delay();
  if (!rules.allowed("/robots.txt")) std::abort();
  return 0;
}
