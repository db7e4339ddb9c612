// The advertisement page of a search resource: the small page in the engines folder that the
// framed document page shows in its top strip. It holds the engine's advertisement image
// (stored beside it by the agent), linked to the advertiser's address, the line "Found by:"
// with the resource's name, and a "Hide Ad" link that calls the hide_ad function of the
// frameset around it, which replaces the whole window by the document.
//
// The agent finds the advertisement on a result page (an "a" tag around an "img" tag), fetches
// the image, stores it under advertisement_image_name and then calls
// write_advertisement_page. The tags are rebuilt here from their attributes rather than copied:
// only the anchor's address (with target "_top") and the image's alt, title, width, height,
// border, hspace and vspace are kept, escaped, so a hostile result page can put neither script
// nor event handlers into the user's pages. The image's src becomes the local file and its
// align "right".
//
// File names are reduced to letters, digits, "-", "_" and "." (html_text.h safe_file_name), the
// same rule everywhere, so the page, its image and the frame that shows it agree.
// Thread: any single thread at a time (no shared state); the agent calls it on the
// user-interface thread.
#pragma once

#include "foundation/name_value_list.h"
#include "foundation/ref_string.h"

namespace orvalis {

struct Advertisement {
  Ref_string resource_name;
  Name_value_list anchor;  // the "a" tag's attributes, values as written in the page
  Name_value_list image;   // the "img" tag's attributes, values as written in the page
  Ref_string image_file;   // the local image's name in the engines folder
};

// The resource's page name: safe name + ".htm".
Ref_string advertisement_page_name(const Ref_string& resource_name);
// The resource's image name: the resource's name followed by the extension of the image's
// address (from its last "." up to a "?"; none without a "."), reduced to a safe name.
Ref_string advertisement_image_name(const Ref_string& resource_name, const Ref_string& image_address);

// The page's text.
Ref_string advertisement_page_text(const Advertisement& ad);
// Writes the page into `engines_folder` (replacing the old one whole). False after reporting
// a failure.
bool write_advertisement_page(const Advertisement& ad, const Ref_string& engines_folder);
// Stores the resource's image `bytes` as `image_name` in `engines_folder` (made when missing):
// written beside it and renamed into place, the resource's older images of the other kinds
// (".gif", ".jpg", ".jpeg", ".png", ".webp", ".svg") removed. False after reporting a failure; the old image then stays.
bool write_advertisement_image(const Ref_string& engines_folder, const Ref_string& resource_name,
                               const Ref_string& image_name, std::string_view bytes);

}  // namespace orvalis
