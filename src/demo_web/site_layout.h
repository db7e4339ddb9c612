// Site_layout: the page around a demo article, as today's sites serve theirs. Each article host
// is a site of its own, with a name and a tagline; its articles come inside a header with the
// site's name and a menu, beside a sidebar of related links, above a footer with a copyright
// line and a cookie notice, and the title element names the site after the article's title.
// Half the sites mark the parts with landmark elements (header, nav, main, aside, footer); the
// others build the same page of bare divs whose class names are those a classic
// content-management system writes ("site-header", "menu", "entry-content", "widget-area",
// "site-footer"), so a reader must tell the furniture from the article by its text and links.
// The article's own head and body are kept as written.
// Pure functions of their arguments; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvalis::demo {

struct Related_link {
  std::string address;
  std::string title;  // decoded text
};

class Site_layout {
 public:
  // The site of article host `host` (0-based); the sites repeat after eight hosts.
  explicit Site_layout(int host);

  const std::string& name() const { return name_; }
  // True for the sites that put the article in a main element.
  bool landmarks() const { return landmarks_; }

  // A whole article page: `article_html` (a complete document, links already absolute) in
  // the site's layout, its sidebar listing `related`.
  std::string article_page(std::string_view article_html, const std::vector<Related_link>& related) const;
  // One of the site's own pages that its menu links to: `heading` and paragraphs of `text`
  // (one a line), in the same layout without a sidebar.
  std::string own_page(const std::string& heading, const std::vector<std::string>& text) const;

  // The site's about page, served at kAbout_path. Its menu and footer links point into the front
  // page ("/#about"), as many sites' do, so a reader following a page's links fetches one page of
  // the site's own besides its articles, not two.
  static constexpr const char* kAbout_path = "/about.html";
  static constexpr const char* kAbout_link = "/#about";

 private:
  std::string page(const std::string& title_html, std::string_view head_extra, std::string_view content,
                   const std::vector<Related_link>* related) const;
  std::string header() const;
  std::string sidebar(const std::vector<Related_link>& related) const;
  std::string footer() const;

  std::string name_;
  std::string tagline_;
  const char* separator_;  // between the article's title and the site's name
  bool landmarks_;
};

}  // namespace orvalis::demo
