#include "exchange/opml.h"

#include <expat.h>

#include <ostream>

#include "database/feed_store.h"
#include "exchange/topic_exchange.h"
#include "exchange/xml_feeding.h"

namespace orvalis::exchange {

namespace {

struct Reader {
  XML_Parser parser = nullptr;
  Opml_document doc;
  // One entry per open outline: the index of its folder in doc.folders (-1: not yet made, -2:
  // a feed outline, -3: an outline outside the body or a folder without a name).
  struct Open {
    std::string name;
    int folder = -1;
  };
  std::vector<Open> outlines;
  bool in_title = false;
  bool in_body = false;
  int depth = 0;

  void stop(const std::string& reason) {
    if (doc.error.empty()) doc.error = reason;
    XML_StopParser(parser, XML_FALSE);
  }

  static const char* attribute(const XML_Char** atts, const char* name) {
    for (int i = 0; atts[i]; i += 2)
      if (std::string_view(atts[i]) == name) return atts[i + 1];
    return nullptr;
  }

  // The folder of the innermost enclosing folder outline, made when its first feed is met.
  int folder_for_feed() {
    for (auto it = outlines.rbegin(); it != outlines.rend(); ++it) {
      if (it->folder == -2 || it->name.empty()) continue;
      if (it->folder < 0) {
        it->folder = static_cast<int>(doc.folders.size());
        doc.folders.push_back(Opml_folder{it->name, {}});
      }
      return it->folder;
    }
    if (outside_ < 0) {
      outside_ = static_cast<int>(doc.folders.size());
      doc.folders.push_back(Opml_folder{doc.title.empty() ? std::string("Feeds") : doc.title, {}});
    }
    return outside_;
  }

  void start(const XML_Char* name, const XML_Char** atts) {
    ++depth;
    const std::string_view n(name);
    if (n == "title" && outlines.empty() && !in_body) in_title = true;
    if (n == "body") in_body = true;
    if (n != "outline") return;
    if (static_cast<int>(outlines.size()) + 1 > doc.deepest) doc.deepest = static_cast<int>(outlines.size()) + 1;
    const char* url = attribute(atts, "xmlUrl");
    const char* text = attribute(atts, "text");
    const char* title = attribute(atts, "title");
    Open o;
    o.name = text && *text ? text : (title ? title : "");
    if (url && *url) {
      o.folder = -2;
      const int folder = folder_for_feed();
      doc.folders[static_cast<std::size_t>(folder)].feeds.push_back(
          Opml_feed{url, title && *title ? title : (text ? text : "")});
    }
    outlines.push_back(std::move(o));
  }

  void end(const XML_Char* name) {
    --depth;
    const std::string_view n(name);
    if (n == "title") in_title = false;
    if (n == "body") in_body = false;
    if (n == "outline" && !outlines.empty()) outlines.pop_back();
  }

  int outside_ = -1;
};

void XMLCALL on_start(void* data, const XML_Char* name, const XML_Char** atts) {
  static_cast<Reader*>(data)->start(name, atts);
}

void XMLCALL on_end(void* data, const XML_Char* name) { static_cast<Reader*>(data)->end(name); }

void XMLCALL on_text(void* data, const XML_Char* s, int len) {
  Reader* r = static_cast<Reader*>(data);
  if (r->in_title) r->doc.title.append(s, static_cast<std::size_t>(len));
}

void XMLCALL on_entity_declaration(void* data, const XML_Char* name, int, const XML_Char*, int,
                                   const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*) {
  static_cast<Reader*>(data)->stop(std::string("the file declares the entity '") + name +
                                   "', and entity declarations are refused");
}

// Called for a reference to an external entity: never resolved.
int XMLCALL on_external_entity(XML_Parser parser, const XML_Char*, const XML_Char*, const XML_Char* system_id,
                               const XML_Char*) {
  Reader* r = static_cast<Reader*>(XML_GetUserData(parser));
  if (r->doc.error.empty())
    r->doc.error = std::string("the file refers to the external entity '") + (system_id ? system_id : "") +
                   "', and external entities are never read";
  return XML_STATUS_ERROR;
}

std::string xml_escaped(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\n': out += "&#10;"; break;
      case '\t': out += "&#9;"; break;
      case '\r': out += "&#13;"; break;
      default:
        // Control characters have no place in XML 1.0.
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
  }
  return out;
}

}  // namespace

Opml_document read_opml(std::string_view text) {
  Reader r;
  r.parser = XML_ParserCreate(nullptr);
  if (!r.parser) {
    r.doc.error = "out of memory";
    return r.doc;
  }
  XML_SetUserData(r.parser, &r);
  XML_SetElementHandler(r.parser, on_start, on_end);
  XML_SetCharacterDataHandler(r.parser, on_text);
  XML_SetEntityDeclHandler(r.parser, on_entity_declaration);
  XML_SetParamEntityParsing(r.parser, XML_PARAM_ENTITY_PARSING_NEVER);
  XML_SetExternalEntityRefHandler(r.parser, on_external_entity);
  feed_xml(r.parser, text, r.doc.error);
  XML_ParserFree(r.parser);
  return r.doc;
}

void write_opml(Database& db, const std::vector<std::int32_t>& topic_ids, std::ostream& out) {
  const std::vector<std::int32_t> ids = topic_ids.empty() ? all_topic_ids(db) : topic_ids;
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"2.0\">\n"
         "  <head>\n    <title>Orvalis topics</title>\n  </head>\n  <body>\n";
  Feed_store feeds(db);
  for (std::int32_t id : ids) {
    Db_statement t(db, "SELECT name FROM concept_master WHERE concept_id = ?1");
    t.bind(1, id);
    if (!t.step()) continue;
    const std::string name = xml_escaped(t.text_view(0));
    const std::vector<Feed> list = feeds.feeds(id);
    if (list.empty()) {
      out << "    <outline text=\"" << name << "\"/>\n";
      continue;
    }
    out << "    <outline text=\"" << name << "\">\n";
    for (const Feed& f : list) {
      const std::string title = xml_escaped(f.title.empty() ? f.address.view() : f.title.view());
      out << "      <outline type=\"rss\" text=\"" << title << "\" title=\"" << title << "\" xmlUrl=\""
          << xml_escaped(f.address.view()) << "\"/>\n";
    }
    out << "    </outline>\n";
  }
  out << "  </body>\n</opml>\n";
}

Import_report import_opml(Database& db, const Opml_document& opml) {
  Import_report report;
  if (db.is_read_only()) {
    report.error = "the database cannot be written: " + db.read_only_reason();
    return report;
  }
  // The folders and feeds as a topics file, merged by the same rules as one.
  Json_value file = Json_value::object();
  Json_value topics = Json_value::array();
  for (const Opml_folder& folder : opml.folders) {
    Json_value t = Json_value::object();
    t.set("id", Json_value::integer(-static_cast<std::int64_t>(topics.items().size()) - 1));
    t.set("name", Json_value::string(folder.name));
    t.set("user_topic", Json_value::boolean(true));
    t.set("user_top_level", Json_value::boolean(true));
    Json_value feeds = Json_value::array();
    for (const Opml_feed& f : folder.feeds) {
      Json_value j = Json_value::object();
      j.set("address", Json_value::string(f.address));
      j.set("title", Json_value::string(f.title));
      feeds.push(std::move(j));
    }
    t.set("feeds", std::move(feeds));
    topics.push(std::move(t));
  }
  file.set("topics", std::move(topics));
  report = import_topics(db, file);
  // The file's folder numbers are no ids of anyone's: a new number is no news.
  report.ids_renumbered = 0;
  if (report.ok() && !opml.error.empty()) report.refused.push_back("the rest of the file: " + opml.error);
  return report;
}

}  // namespace orvalis::exchange
