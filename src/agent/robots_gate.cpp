#include "agent/robots_gate.h"

#include "agent/agent_events.h"
#include "database/database.h"
#include "database/document_store.h"
#include "foundation/url.h"
#include "net/host_table.h"
#include "net/network.h"
#include "platform/clock.h"

namespace orvalis {

Robots_gate::Robots_gate(bool on) { set_on(on); }

void Robots_gate::set_on(bool on) { on_ = on && Robots_cache::respect_setting(); }

bool Robots_gate::ready(const Ref_string& url) {
  answer_ = Robots_cache::allowed;
  if (!on_ || url.empty()) return true;
  answer_ = Robots_cache::instance().require(url);
  if (answer_ == Robots_cache::waiting) return false;
  if (answer_ == Robots_cache::disallowed) return true;
  // A crawl delay longer than the host spacing is kept as well.
  const int delay = Robots_cache::instance().crawl_delay(url);
  if (delay > kHost_spacing_seconds) {
    std::int64_t last = 0;
    if (Host_table::instance().launch_time(Url(url).host(), last) && platform::now() - last <= delay)
      return false;
  }
  return true;
}

void store_not_allowed(const Document_handle& document) {
  if (!document || !Database::shared().is_open()) return;
  Document_store store;
  Document doc;
  if (!store.load_document(doc, document->url_id)) return;
  if (doc.abstract.count() > 1) return;
  doc.abstract = Ref_list<Ref_string>();
  doc.abstract.append("[NO TEXT: " + Ref_string(kNot_allowed_text) + "]");
  if (!store.save_document(doc)) return;
  document->abstract = doc.abstract;
  if (agent_events().document_summarized) agent_events().document_summarized(doc, false);
}

}  // namespace orvalis
