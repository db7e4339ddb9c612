#include "demo_web/site_layout.h"

#include "demo_web/search_index.h"

namespace orvalis::demo {

namespace {

struct Site_identity {
  const char* name;
  const char* tagline;
  const char* separator;
};

// Even hosts use landmark elements, odd ones bare divs. "Hearth & Orbit" keeps an ampersand in
// every page's title and header, as site names do.
const Site_identity kSites[] = {
    {"Curious Almanac", "Long reads for short attention spans", " | "},
    {"The Weekend Reader", "Stories worth a second cup", " - "},
    {"Northfield Gazette", "Science and craft from the valley", " \xE2\x80\x94 "},
    {"Slow Science Notes", "Taking the time to get it right", " \xC2\xB7 "},
    {"Hearth & Orbit", "From the kitchen to the launch pad", " | "},
    {"Pocket Encyclopedia", "Everything, briefly", " - "},
    {"Morning Ledger", "What we learned this week", " | "},
    {"Quiet Workshop", "Notes from the bench", " \xE2\x80\x93 "},
};
constexpr int kSite_count = sizeof kSites / sizeof kSites[0];

constexpr const char* kContact = "mailto:editors@example.org";
constexpr const char* kStyle =
    "<style>\n"
    "body { font-family: Georgia, serif; margin: 0; color: #222; }\n"
    ".site-header { background: #24364b; color: #fff; padding: 0.5em 2em; }\n"
    ".site-header a { color: #fff; }\n"
    ".menu { list-style: none; padding: 0; } .menu li { display: inline; margin-right: 1em; }\n"
    ".layout, .site-content { display: flex; gap: 2em; padding: 0 2em; }\n"
    "main, .content-area { flex: 3; } aside, .widget-area { flex: 1; font-size: 90%; }\n"
    ".site-footer { border-top: 1px solid #ccc; padding: 0.5em 2em; font-size: 85%; }\n"
    "</style>\n";

// The text between `open` and `close` in `html` (empty when either is missing).
std::string_view between(std::string_view html, std::string_view open, std::string_view close) {
  size_t from = html.find(open);
  if (from == std::string_view::npos) return {};
  from += open.size();
  size_t to = html.find(close, from);
  return to == std::string_view::npos ? std::string_view() : html.substr(from, to - from);
}

// `head` without its title element, and that title's text as written.
std::string head_without_title(std::string_view head, std::string& title) {
  size_t open = head.find("<title>");
  size_t close = open == std::string_view::npos ? open : head.find("</title>", open);
  if (close == std::string_view::npos) return std::string(head);
  title = std::string(head.substr(open + 7, close - open - 7));
  size_t end = close + 8;
  if (end < head.size() && head[end] == '\n') ++end;
  return std::string(head.substr(0, open)) + std::string(head.substr(end));
}

std::string related_items(const std::vector<Related_link>& related) {
  std::string out;
  for (const Related_link& r : related)
    out += "<li><a href=\"" + html_escape(r.address) + "\">" + html_escape(r.title) + "</a></li>\n";
  return out;
}

}  // namespace

Site_layout::Site_layout(int host) {
  const Site_identity& site = kSites[(host % kSite_count + kSite_count) % kSite_count];
  name_ = site.name;
  tagline_ = site.tagline;
  separator_ = site.separator;
  landmarks_ = host % 2 == 0;
}

std::string Site_layout::header() const {
  const std::string name = html_escape(name_);
  if (landmarks_) {
    return "<header class=\"site-header\">\n<p class=\"site-title\"><a href=\"/\">" + name +
           "</a></p>\n<p class=\"tagline\">" + html_escape(tagline_) +
           "</p>\n<nav aria-label=\"Main menu\">\n<ul class=\"menu\">\n<li><a href=\"/\">Home</a></li>\n"
           "<li><a href=\"/\">Articles</a></li>\n<li><a href=\"" + kAbout_link + "\">About us</a></li>\n"
           "<li><a href=\"" + kContact + "\">Contact</a></li>\n</ul>\n</nav>\n</header>\n";
  }
  return "<div id=\"masthead\" class=\"site-header\">\n<div class=\"site-branding\">\n"
         "<p class=\"site-title\"><a href=\"/\" rel=\"home\">" + name +
         "</a></p>\n<p class=\"site-description\">" + html_escape(tagline_) +
         "</p>\n</div>\n<div id=\"site-navigation\" class=\"main-navigation\">\n"
         "<ul id=\"primary-menu\" class=\"menu\">\n"
         "<li class=\"menu-item current-menu-item\"><a href=\"/\">Home</a></li>\n"
         "<li class=\"menu-item\"><a href=\"/\">Archives</a></li>\n"
         "<li class=\"menu-item\"><a href=\"" + kAbout_link + "\">About</a></li>\n"
         "<li class=\"menu-item\"><a href=\"" + kContact + "\">Contact</a></li>\n</ul>\n</div>\n</div>\n";
}

std::string Site_layout::sidebar(const std::vector<Related_link>& related) const {
  const std::string name = html_escape(name_);
  if (landmarks_) {
    return "<aside class=\"sidebar\">\n<h2>Related reading</h2>\n<ul>\n" + related_items(related) +
           "</ul>\n<h2>Newsletter</h2>\n<p>The best of " + name +
           " in your inbox every Friday.</p>\n<form action=\"" + kAbout_link +
           "\" method=\"get\"><input type=\"email\" name=\"email\"> <button type=\"submit\">Subscribe</button>"
           "</form>\n</aside>\n";
  }
  return "<div id=\"secondary\" class=\"widget-area\">\n<div class=\"widget widget-related\">\n"
         "<h3 class=\"widget-title\">Related posts</h3>\n<ul>\n" + related_items(related) +
         "</ul>\n</div>\n<div class=\"widget widget-text\">\n<h3 class=\"widget-title\">About " + name +
         "</h3>\n<div class=\"textwidget\">" + html_escape(tagline_) +
         ". Written and edited by a small team of volunteers since 2009.</div>\n</div>\n</div>\n";
}

std::string Site_layout::footer() const {
  const std::string name = html_escape(name_);
  if (landmarks_) {
    return "<footer class=\"site-footer\">\n<p>&copy; 2026 " + name + ". All rights reserved. <a href=\"" +
           kAbout_link + "\">About</a> &middot; <a href=\"" + kAbout_link +
           "\">Privacy policy</a></p>\n<div class=\"cookie-notice\" role=\"dialog\" aria-label=\"Cookie notice\">\n"
           "<p>We use cookies to remember your settings and to understand how our site is used. By "
           "continuing to browse, you agree to our use of cookies.</p>\n<button type=\"button\">Accept</button>\n"
           "</div>\n</footer>\n";
  }
  return "<div id=\"colophon\" class=\"site-footer\">\n<div class=\"site-info\">Copyright &copy; 2026 " + name +
         ". All rights reserved. <a href=\"" + kAbout_link + "\">Privacy policy</a></div>\n"
         "<div id=\"cookie-notice\" class=\"cookie-notice\">This website uses cookies to improve your "
         "experience. We&#39;ll assume you&#39;re ok with this, but you can opt out if you wish. <a href=\"" +
         kAbout_link + "\">Read more</a> <a href=\"" + kAbout_link + "\">Accept</a></div>\n</div>\n";
}

std::string Site_layout::page(const std::string& title_html, std::string_view head_extra,
                              std::string_view content, const std::vector<Related_link>* related) const {
  std::string out = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n";
  out += head_extra;
  out += "<title>" + title_html + separator_ + html_escape(name_) + "</title>\n";
  out += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  out += kStyle;
  out += "</head>\n";
  if (landmarks_) {
    out += "<body>\n" + header() + "<div class=\"layout\">\n<main id=\"content\">\n<article>\n";
    out += content;
    out += "</article>\n</main>\n";
    if (related) out += sidebar(*related);
    out += "</div>\n" + footer() + "</body>\n</html>\n";
    return out;
  }
  out += "<body class=\"post-template-default single single-post\">\n<div id=\"page\" class=\"site\">\n" + header();
  out += "<div id=\"content\" class=\"site-content\">\n<div id=\"primary\" class=\"content-area\">\n"
         "<div class=\"post hentry\">\n<div class=\"entry-content\">\n";
  out += content;
  out += "</div>\n<div class=\"entry-footer\">\n<div class=\"share-links\">Share this: <a href=\"" +
         std::string(kContact) + "?subject=A%20good%20read\">Email</a> <a href=\"javascript:window.print()\">"
         "Print</a></div>\n</div>\n</div>\n</div>\n";
  if (related) out += sidebar(*related);
  out += "</div>\n" + footer() + "</div>\n</body>\n</html>\n";
  return out;
}

std::string Site_layout::article_page(std::string_view article_html, const std::vector<Related_link>& related) const {
  std::string title;
  std::string head = head_without_title(between(article_html, "<head>\n", "</head>"), title);
  return page(title, head, between(article_html, "<body>\n", "</body>"), &related);
}

std::string Site_layout::own_page(const std::string& heading, const std::vector<std::string>& text) const {
  std::string content = "<h1>" + html_escape(heading) + "</h1>\n";
  for (const std::string& line : text) content += "<p>" + html_escape(line) + "</p>\n";
  return page(html_escape(heading), "<meta charset=\"utf-8\">\n", content, nullptr);
}

}  // namespace orvalis::demo
