#include "reports/saved_copy_page.h"

#include <ctime>
#include <filesystem>
#include <fstream>

#include "database/page_copy_store.h"
#include "foundation/page_encoding.h"
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
    const std::time_t t = static_cast<std::time_t>(copy->time_fetched);
    std::tm tm{};
    localtime_r(&t, &tm);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &tm);
    page = viewable_copy_text(*text, document.title.view(), document.address.view(), when);
  }
  namespace fs = std::filesystem;
  const fs::path folder(options.pages_folder.str());
  const fs::path file = folder / ("copy" + std::to_string(document.url_id) + ".htm");
  const fs::path part = folder / ("copy" + std::to_string(document.url_id) + ".htm.part");
  std::error_code ec;
  fs::create_directories(folder, ec);
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out.write(page.data(), static_cast<std::streamsize>(page.size()));
    if (!out.flush()) {
      error = "The saved copy could not be written to " + part.string() + ".";
      fs::remove(part, ec);
      return {};
    }
  }
  fs::rename(part, file, ec);
  if (ec) {
    error = "The saved copy could not be written to " + file.string() + ": " + ec.message() + ".";
    fs::remove(part, ec);
    return {};
  }
  return file.string();
}

}  // namespace orvalis
