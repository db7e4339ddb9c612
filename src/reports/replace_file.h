// Writing a generated file whole: the text goes to FILE.part beside it, which is then renamed
// over FILE, so a reader (a browser showing the page) never sees half of it and a failure
// leaves the old file as it was.
// Thread: any.
#pragma once

#include <string>
#include <string_view>

namespace orvalis {

// Replaces `path` whole with `text`. False with `error` set to the errno of the step that failed
// (the part file removed) when the file could not be written.
bool replace_file(const std::string& path, std::string_view text, int& error);

}  // namespace orvalis
