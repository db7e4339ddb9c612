// The page the window's "Open Saved Copy" opens: a document's latest saved copy (its HTML as
// received when that was kept, otherwise its readable text) made viewable (viewable_copy.h)
// and written in UTF-8 to "copy" + url_id + ".htm" in the pages folder, replacing the last one.
// Thread: the thread that owns the database (the user-interface thread).
#pragma once

#include <string>

#include "database/document.h"
#include "reports/topic_index.h"

namespace orvalis {

// The written file's path; empty, with `error` saying why in a sentence, when the document has
// no saved copy, its copy cannot be read or the file cannot be written.
std::string write_saved_copy_page(const Document& document, const Publish_options& options,
                                  std::string& error);

}  // namespace orvalis
