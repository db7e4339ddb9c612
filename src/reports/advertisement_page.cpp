#include "reports/advertisement_page.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "foundation/error_handler.h"
#include "foundation/settings.h"
#include "reports/html_text.h"
#include "reports/replace_file.h"

namespace orvalis {

namespace {

// Attribute value as a browser would read it: character references decoded.
Ref_string decoded(const Ref_string& value) {
  Ref_string v = value;
  v.decode_entities();
  return v;
}

void put_attribute(std::string& out, std::string_view name, const Ref_string& value) {
  out += ' ';
  out += name;
  out += "=\"";
  append_escaped_html(out, value.view());
  out += '"';
}


}  // namespace

Ref_string advertisement_page_name(const Ref_string& resource_name) {
  return safe_file_name(resource_name.view()) + ".htm";
}

Ref_string advertisement_image_name(const Ref_string& resource_name, const Ref_string& image_address) {
  std::string_view address = image_address.view();
  std::string_view extension;
  std::size_t dot = address.rfind('.');
  if (dot != std::string_view::npos) {
    extension = address.substr(dot);
    extension = extension.substr(0, extension.find('?'));
  }
  Ref_string name = safe_file_name(resource_name.view());
  for (char c : extension)
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.') name += c;
  return name;
}

Ref_string advertisement_page_text(const Advertisement& ad) {
  std::string page = "<HTML>\r\n<HEAD>\r\n<TITLE>";
  page += Ref_string::from_id(12012).view();
  page += "</TITLE>\r\n</HEAD>\r\n";
  page += "<BODY BACKGROUND=\"../pages/images/ovbg.gif\" TOPMARGIN=5>\r\n";

  page += "<a";
  put_attribute(page, "href", safe_address(decoded(ad.anchor.get("href"))));
  page += " target=\"_top\">";
  page += "<img";
  put_attribute(page, "src", safe_file_name(ad.image_file.view()));
  page += " align=\"right\"";
  for (const char* name : {"alt", "title", "width", "height", "border", "hspace", "vspace"})
    if (ad.image.has(name)) put_attribute(page, name, decoded(ad.image.get(name)));
  page += "></A>\r\n";

  page += "<FONT SIZE=+1><B>";
  page += Ref_string::from_id(12013).view();
  page += " <I>";
  append_escaped_html(page, ad.resource_name.view());
  page += "</I></B></FONT>\r\n";

  page += "\r\n<SCRIPT LANGUAGE='JavaScript'>\r\n";
  page += "<!--\r\n";
  page += "  document.writeln('<BR><A HREF=javascript:parent.hide_ad()>";
  page += Ref_string::from_id(10196).view();
  page += "</A>')\r\n";
  page += "// -->\r\n";
  page += "</SCRIPT>\r\n\r\n";
  page += "</BODY>\r\n</HTML>\r\n";
  return Ref_string(page);
}

bool write_advertisement_page(const Advertisement& ad, const Ref_string& engines_folder) {
  Ref_string path = join_folder(engines_folder, advertisement_page_name(ad.resource_name));
  int error = 0;
  if (replace_file(path.str(), advertisement_page_text(ad).view(), error)) return true;
  report_error(concat("Unable to write the advertisement page ", path.view(), ": ", std::strerror(error)));
  return false;
}

bool write_advertisement_image(const Ref_string& engines_folder, const Ref_string& resource_name,
                               const Ref_string& image_name, std::string_view bytes) {
  const Ref_string name = safe_file_name(image_name.view());
  std::error_code made;
  std::filesystem::create_directories(engines_folder.str(), made);
  Ref_string path = join_folder(engines_folder, name);
  int error = 0;
  if (!replace_file(path.str(), bytes, error)) {
    report_error(concat("Unable to write the advertisement image ", path.view(), ": ", std::strerror(error)));
    return false;
  }
  // The previous image may have had another extension.
  const Ref_string base = safe_file_name(resource_name.view());
  for (const char* extension : {".gif", ".jpg", ".jpeg", ".png", ".webp", ".svg"}) {
    Ref_string old = base + extension;
    if (!(old == name)) ::unlink(join_folder(engines_folder, old).c_str());
  }
  return true;
}

}  // namespace orvalis
