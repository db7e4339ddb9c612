// Get_ad_task fetches the advertisement image a search engine showed beside its results and
// stores it, with the small advertisement page that the framed document pages show in their
// top strip, in the engines folder: the image under the engine's name with the extension of
// the address it came from (advertisement_image_name), the page as the engine's name + ".htm".
//
// Made by the advertisement step of a search (take_advertisement) from the engine's name, the
// image's address, the anchor around the image (with target "_top") and the image tag; due at
// once. The fetch has a fixed 60-second time-out. Only a complete reply is stored: status 200
// with a Content-Length, at least that many bytes received, and the bytes a GIF, JPEG, PNG,
// WebP or SVG image. A failed, cut, oversized (past the MaxDocumentBytes read limit) or
// unusable reply stores nothing and says nothing (refusal() tells why); the engine's previous
// image and page stay. Every outcome finishes the task. User-interface thread only. REQUIRES: made with make_counted.
#pragma once

#include "foundation/ref_string.h"
#include "net/network_task.h"
#include "text/html_tag.h"

namespace orvalis {

class Get_ad_task : public Network_task {
 public:
  // "Get <engine> ad from '<image address>'". `extension_address` gives the stored image's
  // extension when the reply does not say where it finally came from.
  Get_ad_task(const Ref_string& resource_name, const Ref_string& image_address,
              const Ref_string& anchor_text, const Ref_string& extension_address,
              const Html_tag_handle& image_tag);

  int start() override;
  void process_result() override;

  const Ref_string& resource_name() const { return resource_name_; }
  const Ref_string& image_address() const { return image_address_; }
  const Ref_string& anchor_text() const { return anchor_text_; }
  // Why the last result was not stored; empty when it was (or none came yet).
  const Ref_string& refusal() const { return refusal_; }

  static constexpr int kTimeout_seconds = 60;

 private:
  // Stores the image and the page; the reason when it did not.
  Ref_string store();

  Ref_string resource_name_;
  Ref_string image_address_;
  Ref_string anchor_text_;
  Ref_string extension_address_;
  Html_tag_handle image_tag_;
  Ref_string refusal_;
  bool fetchable_ = true;
};

// The kind of image the bytes hold: "gif", "jpeg", "png", "webp", "svg", or empty for anything
// else.
const char* image_kind(std::string_view bytes);

}  // namespace orvalis
