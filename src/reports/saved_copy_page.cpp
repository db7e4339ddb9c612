#include "reports/saved_copy_page.h"

#include <cstring>
#include <filesystem>

#include "database/page_copy_store.h"
#include "foundation/page_encoding.h"
#include "reports/page_changes.h"
#include "reports/replace_file.h"
#include "text/viewable_copy.h"

namespace orvalis {

std::string write_saved_copy_page(const Document& document, const Publish_options& options,
                                  std::string& error) {
  Page_copy_store store(*options.database);
  const std::optional<Page_copy_info> copy = store.copy_at(document.url_id);
  if (!copy) {
    error = "This document has no saved copy: its page is kept once the agent reads it, unless "
            "KeepPageCopies is No.";
    return {};
  }
  std::string page;
  if (copy->has_html) {
    std::optional<std::string> html = store.html_of(*copy, &error);
    if (!html) return {};
    page = viewable_copy_html(page_to_utf8(*html, "text/html; charset=" + copy->encoding), document.address.view());
  } else {
    std::optional<std::string> text = store.text_of(*copy, &error);
    if (!text) return {};
    page = viewable_copy_text(*text, document.title.view(), document.address.view(),
                              copy_time_text(copy->time_fetched));
  }
  namespace fs = std::filesystem;
  const fs::path folder(options.pages_folder.str());
  const fs::path file = folder / ("copy" + std::to_string(document.url_id) + ".htm");
  std::error_code made;
  fs::create_directories(folder, made);
  int failure = 0;
  if (!replace_file(file.string(), page, failure)) {
    error = "The saved copy could not be written to " + file.string() + ": " + std::strerror(failure) + ".";
    return {};
  }
  return file.string();
}

}  // namespace orvalis
