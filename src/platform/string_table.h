// The program's numbered texts: messages, labels, status texts, task descriptions and the
// characters of the HTML entity table, looked up by number. The table is compiled in and
// immutable, so any thread may read it.
#pragma once

namespace orvalis::platform {

// The text stored under `id` (UTF-8, zero-terminated), or nullptr when there is none.
const char* load_string(int id) noexcept;

}  // namespace orvalis::platform
