#include "demo_web/demo_pages.h"

#include <algorithm>
#include <cstdint>

namespace orvalis::demo {

namespace {

constexpr const char* kEngine_name = "Lookabout";
constexpr const char* kArticle_prefix = "/articles/";

std::string page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
         html_escape(title) + "</title>\n</head>\n<body>\n" + body + "</body>\n</html>\n";
}

Http_answer html_answer(int status, std::string body) {
  Http_answer a;
  a.status = status;
  a.body = std::move(body);
  return a;
}

Http_answer error_answer(int status, const std::string& detail) {
  std::string title = std::to_string(status) + " " + reason_phrase(status);
  return html_answer(status, page(title, "<h1>" + html_escape(title) + "</h1>\n<p>" +
                                             html_escape(detail) + "</p>\n"));
}

Http_answer not_found(const Http_request& request) {
  return error_answer(404, "Nothing is served at " + request.path + " here.");
}

Http_answer only_get(const Http_request& request) {
  Http_answer a = error_answer(405, request.method + " is not served at " + request.path + ".");
  a.headers.emplace_back("Allow", "GET, HEAD");
  return a;
}

// The search box, filled with `query`.
std::string search_form(const std::string& query) {
  return "<form action=\"/search\" method=\"get\">\n<input type=\"text\" name=\"q\" size=\"40\" value=\"" +
         html_escape(query) + "\">\n<input type=\"submit\" value=\"Search\">\n</form>\n";
}

// The engine's own links at the top of its pages.
std::string navigation() {
  return std::string("<p><b>") + kEngine_name +
         "</b> &middot; <a href=\"/help\">Help</a> &middot; <a href=\"/preferences\">Preferences</a></p>\n";
}

// A small number from the query's text, so a query keeps its banner.
int banner_for(const std::string& query) {
  std::uint32_t h = 2166136261u;
  for (char c : query) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return static_cast<int>(h % Demo_pages::kBanners) + 1;
}

// ---- GIF writing: a paletted image with codes of a fixed width (a clear code every two
// pixels keeps the LZW table from growing), which every decoder reads.

class Bit_writer {
 public:
  void put(unsigned code, int bits) {
    acc_ |= code << fill_;
    fill_ += bits;
    while (fill_ >= 8) {
      bytes_ += static_cast<char>(acc_ & 0xff);
      acc_ >>= 8;
      fill_ -= 8;
    }
  }
  std::string finish() {
    if (fill_ > 0) bytes_ += static_cast<char>(acc_ & 0xff);
    return bytes_;
  }

 private:
  std::string bytes_;
  unsigned acc_ = 0;
  int fill_ = 0;
};

void put16(std::string& out, int v) {
  out += static_cast<char>(v & 0xff);
  out += static_cast<char>((v >> 8) & 0xff);
}

}  // namespace

Demo_pages::Demo_pages(Site site) : site_(std::move(site)), index_(corpus()) {
  const std::vector<Article>& articles = corpus();
  auto index_of = [&articles](std::string_view slug) {
    for (size_t i = 0; i < articles.size(); ++i)
      if (articles[i].slug == slug) return static_cast<int>(i);
    return -1;  // a missing article: the corpus check keeps this from happening
  };
  rendered_.reserve(articles.size());
  for (size_t i = 0; i < articles.size(); ++i) {
    const Article& a = articles[i];
    std::string html = resolve_placeholders(a.html, [this, &index_of](std::string_view slug) {
      int other = index_of(slug);
      return other < 0 ? std::string("#") : article_address(other);
    });
    // The sidebar relates the articles this one links to, as sites list their related posts.
    std::vector<Related_link> related;
    for (const std::string& slug : a.links) {
      int other = index_of(slug);
      if (other < 0) continue;
      bool listed = false;
      for (const Related_link& r : related) listed = listed || r.address == article_address(other);
      if (!listed) related.push_back({article_address(other), articles[static_cast<size_t>(other)].title});
    }
    rendered_.push_back(Site_layout(static_cast<int>(i % site_.hosts.size())).article_page(html, related));
  }
}

std::string Demo_pages::article_address(int article) const {
  const Article& a = index_.article(article);
  return site_.hosts[static_cast<size_t>(article) % site_.hosts.size()] + kArticle_prefix + a.slug + ".html";
}

std::string Demo_pages::ignore_list() { return "/search?,/help,/preferences,/cache?,/sponsor?"; }

Http_answer Demo_pages::engine(const Http_request& request) const {
  const std::string& path = request.path;
  const bool post = request.method == "POST";
  if (path == "/search") {
    Fields fields = read_form(post ? request.body : request.query);
    std::string start = field_value(fields, "start");
    int from = 0;
    for (char c : start) {
      if (c < '0' || c > '9' || from > 100000) break;
      from = from * 10 + (c - '0');
    }
    return results(field_value(fields, "q"), from);
  }
  if (post) return only_get(request);
  if (path == "/") {
    return html_answer(200, page(std::string(kEngine_name) + " search",
                                 std::string("<h1>") + kEngine_name + "</h1>\n" +
                                     "<p>Search the articles of the demo web.</p>\n" +
                                     search_form("") + navigation()));
  }
  if (path == "/help") {
    return html_answer(
        200, page(std::string(kEngine_name) + " help",
                  navigation() + "<h1>Searching</h1>\n<p>Type a few words: the results are the articles "
                                 "that hold every one of them, the best first, ten to a page.</p>\n"
                                 "<ul>\n<li><code>green tea</code>, <code>green AND tea</code> and "
                                 "<code>+green +tea</code> all ask for both words.</li>\n"
                                 "<li><code>-word</code> leaves out the articles that hold the word.</li>\n"
                                 "<li>Case does not matter, and short common words are passed over.</li>\n</ul>\n" +
                                 search_form("")));
  }
  if (path == "/preferences") {
    return html_answer(200, page(std::string(kEngine_name) + " preferences",
                                 navigation() + "<h1>Preferences</h1>\n<p>Results per page: 10. "
                                                "Language: any. There is nothing else to set.</p>\n"));
  }
  if (path == "/cache") return cached_copy(field_value(read_form(request.query), "url"));
  if (path == "/sponsor") {
    std::string id = field_value(read_form(request.query), "id");
    return html_answer(200, page("Our sponsor", navigation() + "<h1>Sponsored</h1>\n<p>Sponsor " +
                                                    html_escape(id) + " thanks you for searching.</p>\n"));
  }
  if (path.rfind("/ads/banner-", 0) == 0) {
    for (int n = 1; n <= kBanners; ++n) {
      if (path == "/ads/banner-" + std::to_string(n) + ".gif") {
        Http_answer a;
        a.content_type = "image/gif";
        a.body = banner_gif(n);
        return a;
      }
    }
  }
  return not_found(request);
}

Http_answer Demo_pages::results(const std::string& query, int start) const {
  Parsed_query parsed = Search_index::parse_query(query);
  std::string title = std::string(kEngine_name) + ": " + query;
  std::string body = navigation() + search_form(query);
  if (parsed.wanted.empty()) {
    body += "<p>Type a few words to search for.</p>\n";
    return html_answer(200, page(title, body));
  }
  std::vector<int> hits = index_.search(parsed);
  int total = static_cast<int>(hits.size());
  if (total == 0) {
    body += "<p>No articles match <b>" + html_escape(query) +
            "</b>. Try fewer words, or other words.</p>\n";
    return html_answer(200, page(title, body));
  }
  if (start >= total) start = ((total - 1) / kResults_per_page) * kResults_per_page;
  int end = std::min(total, start + kResults_per_page);
  body += "<p>Results " + std::to_string(start + 1) + "&ndash;" + std::to_string(end) + " of " +
          std::to_string(total) + " for <b>" + html_escape(query) + "</b></p>\n";
  int banner = banner_for(query);
  body += "<div class=\"sponsor\"><a href=\"/sponsor?id=" + std::to_string(banner) +
          "\"><img src=\"/ads/banner-" + std::to_string(banner) +
          ".gif\" width=\"120\" height=\"60\" alt=\"Sponsored\"></a></div>\n";
  body += "<ol start=\"" + std::to_string(start + 1) + "\">\n";
  for (int r = start; r < end; ++r) {
    int i = hits[static_cast<size_t>(r)];
    std::string address = article_address(i);
    body += "<li><a href=\"" + html_escape(address) + "\">" + html_escape(index_.article(i).title) +
            "</a><br>\n" + index_.snippet(i, parsed) + "<br>\n<small>" + html_escape(address) +
            " &middot; <a href=\"/cache?url=" + percent_encode(address) + "\">Cached</a></small></li>\n";
  }
  body += "</ol>\n<p>";
  std::string q = percent_encode(query);
  if (start > 0)
    body += "<a href=\"/search?q=" + q + "&amp;start=" +
            std::to_string(std::max(0, start - kResults_per_page)) + "\">Previous page</a> ";
  if (end < total)
    body += "<a href=\"/search?q=" + q + "&amp;start=" + std::to_string(end) + "\">Next page</a>";
  body += "</p>\n";
  return html_answer(200, page(title, body));
}

Http_answer Demo_pages::cached_copy(const std::string& address) const {
  for (int i = 0; i < index_.size(); ++i) {
    if (article_address(i) != address) continue;
    const Article& a = index_.article(i);
    std::string body = navigation() + "<p>This is " + kEngine_name + "&rsquo;s copy of <a href=\"" +
                       html_escape(address) + "\">" + html_escape(address) + "</a>.</p>\n<hr>\n";
    size_t line = 0;
    while (line < a.text.size()) {
      size_t end = a.text.find('\n', line);
      if (end == std::string::npos) end = a.text.size();
      body += "<p>" + html_escape(std::string_view(a.text).substr(line, end - line)) + "</p>\n";
      line = end + 1;
    }
    return html_answer(200, page("Cached: " + a.title, body));
  }
  return error_answer(404, "The engine keeps no copy of that page.");
}

Http_answer Demo_pages::article_host(int host, const Http_request& request) const {
  if (request.method == "POST") return only_get(request);
  const size_t hosts = site_.hosts.size();
  if (request.path == "/") {
    std::string body = "<h1>Articles</h1>\n<ul>\n";
    for (int i = 0; i < index_.size(); ++i) {
      if (static_cast<size_t>(i) % hosts != static_cast<size_t>(host)) continue;
      body += "<li><a href=\"" + std::string(kArticle_prefix) + index_.article(i).slug + ".html\">" +
              html_escape(index_.article(i).title) + "</a></li>\n";
    }
    body += "</ul>\n";
    return html_answer(200, page("Articles on " + site_.hosts[static_cast<size_t>(host)], body));
  }
  const std::string& path = request.path;
  if (path == Site_layout::kAbout_path) {
    const Site_layout site(host);
    return html_answer(200, site.own_page("About " + site.name(),
                                          {site.name() + " publishes long articles on tea, bread, bees and "
                                                         "spaceflight, written by readers for readers.",
                                           "We keep no record of your visits beyond what a cookie needs to "
                                           "remember your settings."}));
  }
  const std::string suffix = ".html";
  if (path.rfind(kArticle_prefix, 0) == 0 && path.size() > suffix.size() &&
      path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
    std::string slug = path.substr(std::string_view(kArticle_prefix).size(),
                                   path.size() - suffix.size() - std::string_view(kArticle_prefix).size());
    for (int i = 0; i < index_.size(); ++i)
      if (index_.article(i).slug == slug && static_cast<size_t>(i) % hosts == static_cast<size_t>(host))
        return html_answer(200, rendered_[static_cast<size_t>(i)]);
  }
  return not_found(request);
}

std::string Demo_pages::banner_gif(int n) {
  constexpr int width = 120, height = 60;
  // Palette: background, border, stripe, spare; the background changes with the banner.
  static const unsigned char backgrounds[][3] = {{0xf4, 0xd0, 0x3f}, {0x6c, 0xc0, 0x8a}, {0x5b, 0x9b, 0xd5}};
  const unsigned char* bg = backgrounds[(n - 1) % 3];
  std::string gif = "GIF89a";
  put16(gif, width);
  put16(gif, height);
  gif += static_cast<char>(0x91);  // global palette of 4 colours, 2 bits of colour resolution
  gif += '\0';                     // background index
  gif += '\0';                     // aspect
  const unsigned char palette[4][3] = {{bg[0], bg[1], bg[2]}, {0x20, 0x20, 0x20}, {0xff, 0xff, 0xff}, {0, 0, 0}};
  for (const auto& rgb : palette)
    for (unsigned char c : rgb) gif += static_cast<char>(c);
  gif += ',';
  put16(gif, 0);
  put16(gif, 0);
  put16(gif, width);
  put16(gif, height);
  gif += '\0';  // no local palette, not interlaced
  const int min_code_size = 2, clear = 4, end = 5, code_bits = 3;
  gif += static_cast<char>(min_code_size);
  Bit_writer bits;
  int since_clear = 2;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int pixel = 0;
      if (x < 2 || y < 2 || x >= width - 2 || y >= height - 2) pixel = 1;
      else if ((y / 6) % 3 == 1 && x > 10 && x < width - 10 && (x / (4 + n)) % 2 == 0) pixel = 2;
      if (since_clear == 2) {
        bits.put(clear, code_bits);
        since_clear = 0;
      }
      bits.put(static_cast<unsigned>(pixel), code_bits);
      ++since_clear;
    }
  }
  bits.put(end, code_bits);
  std::string data = bits.finish();
  for (size_t at = 0; at < data.size(); at += 255) {
    size_t n_bytes = std::min<size_t>(255, data.size() - at);
    gif += static_cast<char>(n_bytes);
    gif.append(data, at, n_bytes);
  }
  gif += '\0';
  gif += ';';
  return gif;
}

}  // namespace orvalis::demo
