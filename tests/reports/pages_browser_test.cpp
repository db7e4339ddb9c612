// The published pages in a real browser: headless Chromium, driven through its DevTools
// protocol over a pipe, loads index.htm from a small database and shows both frames with their
// pictures; a topic link of the index frame opens the topic's page in the detail frame. A
// topic page and a framed document page full of hostile titles, extracts, notes and
// addresses load without running any script of theirs.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "reports/detail_pages.h"
#include "reports/topic_index.h"
#include "reports_test_support.h"

namespace orvalis::testing {
namespace {

std::string json_quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) >= 0x20) out += c;
    else out += "\\u00" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
  }
  return out + "\"";
}

// The JSON string whose opening quote is at `at`, unescaped (the protocol escapes only
// characters of the Basic Multilingual Plane in the values read here).
std::string json_string_at(const std::string& text, std::size_t at) {
  std::string out;
  for (std::size_t i = at + 1; i < text.size() && text[i] != '"'; ++i) {
    if (text[i] != '\\') {
      out += text[i];
    } else if (text[++i] == 'n') {
      out += '\n';
    } else if (text[i] != 'u') {
      out += text[i];
    } else {
      unsigned code = std::stoul(text.substr(i + 1, 4), nullptr, 16);
      i += 4;
      if (code < 0x80) {
        out += static_cast<char>(code);
      } else if (code < 0x800) {
        out += {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
      } else {
        out += {static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
                static_cast<char>(0x80 | (code & 0x3F))};
      }
    }
  }
  return out;
}

// One headless Chromium with one page, driven with DevTools messages over fds 3 and 4.
class Chromium {
 public:
  ~Chromium() { stop(); }

  bool start(const std::string& folder) {
    int commands[2], replies[2];
    if (::pipe2(commands, O_CLOEXEC) != 0 || ::pipe2(replies, O_CLOEXEC) != 0) return false;
    std::string profile = "--user-data-dir=" + folder + "/profile", log = folder + "/browser.log";
    pid_ = ::fork();
    if (pid_ == 0) {
      ::setpgid(0, 0);
      // Above 4 first, so that neither end is closed by the moves to 3 and 4.
      int in = ::fcntl(commands[0], F_DUPFD, 10), out = ::fcntl(replies[1], F_DUPFD, 10);
      ::dup2(in, 3);
      ::dup2(out, 4);
      int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, 1);
      ::dup2(fd, 2);
      ::execl("/usr/bin/chromium", "chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
              "--disable-background-networking", "--disable-component-update", "--disable-sync",
              "--allow-file-access-from-files", "--remote-debugging-pipe", profile.c_str(), "about:blank",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(commands[0]);
    ::close(replies[1]);
    to_ = commands[1];
    from_ = replies[0];
    return pid_ > 0;
  }

  void stop() {
    if (to_ >= 0) ::close(to_);
    if (from_ >= 0) ::close(from_);
    to_ = from_ = -1;
    if (pid_ > 0) {
      ::kill(-pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

  // Sends one command and returns its reply message (empty after 30 s or when the pipe ends).
  std::string call(const std::string& method, const std::string& params) {
    int id = ++last_id_;
    std::string message = "{\"id\":" + std::to_string(id) + ",\"method\":\"" + method + "\",\"params\":" + params +
                          (session_.empty() ? "" : ",\"sessionId\":\"" + session_ + "\"") + "}";
    message.push_back('\0');
    for (std::size_t sent = 0; sent < message.size();) {
      ssize_t n = ::write(to_, message.data() + sent, message.size() - sent);
      if (n <= 0) return {};
      sent += static_cast<std::size_t>(n);
    }
    std::string prefix = "{\"id\":" + std::to_string(id) + ",";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
      for (std::size_t end; (end = pending_.find('\0')) != std::string::npos;) {
        std::string reply = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (reply.starts_with(prefix)) return reply;
      }
      int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      deadline - std::chrono::steady_clock::now()).count());
      pollfd p{from_, POLLIN, 0};
      if (left <= 0 || ::poll(&p, 1, left) <= 0) return {};
      char buffer[65536];
      ssize_t n = ::read(from_, buffer, sizeof buffer);
      if (n <= 0) return {};
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
  }

  // Opens `url` in a new page and attaches to it.
  bool open(const std::string& url) {
    session_.clear();
    std::string target = field(call("Target.createTarget", "{\"url\":" + json_quote(url) + "}"), "targetId");
    session_ = field(call("Target.attachToTarget", "{\"targetId\":" + json_quote(target) + ",\"flatten\":true}"),
                     "sessionId");
    return !target.empty() && !session_.empty();
  }

  // The string member `name` of a reply, or "" when it has none.
  static std::string field(const std::string& reply, const std::string& name) {
    std::size_t at = reply.find("\"" + name + "\":\"");
    return at == std::string::npos ? "" : json_string_at(reply, at + name.size() + 3);
  }

  // The string value of `expression` in the page.
  std::string evaluate(const std::string& expression) {
    std::string reply = call("Runtime.evaluate", "{\"expression\":" + json_quote(expression) + ",\"returnByValue\":true}");
    std::size_t at = reply.find("\"value\":\"");
    return at == std::string::npos ? "<no value: " + reply + ">" : json_string_at(reply, at + 8);
  }

  // Evaluates until the value is no longer "wait" (at most 30 s of the browser's work).
  std::string wait_for(const std::string& expression) {
    std::string value;
    for (int i = 0; i < 300; ++i) {
      value = evaluate(expression);
      if (value != "wait") return value;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return value;
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
  int last_id_ = 0;
  std::string session_;
  std::string pending_;
};

class Pages_browser : public Pages_test {
 protected:
  void SetUp() override {
    if (::access("/usr/bin/chromium", X_OK) != 0) GTEST_SKIP() << "/usr/bin/chromium is missing";
    Pages_test::SetUp();
    std::filesystem::copy(std::string(ORVALIS_DATA_DIR) + "/pages/images", dir.file("pages/images"));
    ASSERT_TRUE(browser.start(dir.str()));
  }
  std::string url(const std::string& name) const { return "file://" + dir.file("pages/" + name); }
  Chromium browser;
};

// Ready once every document of the page and its frames has loaded; then whether every picture
// has come with its size, and the frames' addresses.
constexpr const char* loaded_frames = R"js((() => {
  const docs = [document, ...Array.from(window.frames, f => f.document)];
  if (window.frames.length < 2 || docs.some(d => d.readyState !== 'complete' || d.URL === 'about:blank')) return 'wait';
  const pictures = docs.flatMap(d => Array.from(d.images));
  return JSON.stringify({index: frames['Index'].location.pathname.split('/').pop(),
                         detail: frames['Detail'].location.pathname.split('/').pop(),
                         pictures: pictures.length,
                         shown: pictures.every(i => i.complete && i.naturalWidth > 0),
                         links: Array.from(frames['Index'].document.links, a => a.getAttribute('href') + '>' + a.target)});
})())js";

TEST_F(Pages_browser, IndexShowsBothFramesAndItsLinksOpenTheTopicPages) {
  Topic_handle birds = add_topic("Birds"), rivers = add_topic("Rivers");
  add_document(*birds, "http://127.0.0.1:1/wren", "Wren", 1, true);
  Ref_list<Topic_handle> topics{birds, rivers};
  ASSERT_FALSE(publish_index(topics, options).empty());
  for (const Topic_handle& t : topics) ASSERT_FALSE(publish_topic_page(*t, options).empty());

  ASSERT_TRUE(browser.open(url("index.htm")));
  std::string b = std::to_string(birds->concept_id), r = std::to_string(rivers->concept_id);
  EXPECT_EQ(browser.wait_for(loaded_frames),
            "{\"index\":\"topics.htm\",\"detail\":\"blank.htm\",\"pictures\":7,\"shown\":true,\"links\":[\"t" + b +
                ".htm>Detail\",\"t" + r + ".htm>Detail\"]}");

  for (const Topic_handle& t : {rivers, birds}) {
    std::string page = topic_page_name(t->concept_id).str();
    browser.evaluate("frames['Index'].document.querySelector('a[href=\"" + page + "\"]').click(); 'clicked'");
    EXPECT_EQ(browser.wait_for("(() => { const d = frames['Detail']; "
                               "return d.location.pathname.endsWith('/" + page + "') && d.document.readyState === 'complete' "
                               "? d.document.title + ' / ' + Array.from(d.document.images).every(i => i.complete && i.naturalWidth > 0) : 'wait'; })()"),
              t == birds ? "1 Document about 'Birds' / true" : "0 Documents about 'Rivers' / true");
  }
}

// Ready once loaded; then what ran and what is there: any mark a hostile script would leave,
// scripts, frames and event attributes of the page.
constexpr const char* what_ran = R"js((() => {
  if (location.protocol !== 'file:' || document.readyState !== 'complete') return 'wait';
  const all = Array.from(document.querySelectorAll('*'));
  return JSON.stringify({ran: String(window.ran), title: document.title,
                         scripts: document.scripts.length, iframes: document.querySelectorAll('iframe').length,
                         handlers: all.filter(e => Array.from(e.attributes).some(a => a.name.startsWith('on'))).length});
})())js";

TEST_F(Pages_browser, HostilePagesRunNoScriptOfTheirs) {
  const std::string hostile[] = {
      "<script>window.ran=1</script>",
      "\"><img src=x onerror=\"window.ran=2\">",
      "<svg onload=window.ran=3>",
      "</TD></TR></TABLE><iframe src=\"javascript:parent.ran=4\"></iframe>",
      "&lt;script&gt;window.ran=5&lt;/script&gt;",
  };
  Topic_handle t = add_topic(hostile[0]);
  options.user_name = Ref_string(hostile[1]);
  for (const std::string& text : hostile) {
    Document_handle d = add_document(*t, "http://127.0.0.1:1/?q=" + text, text, 1, true);
    d->abstract = {Ref_string(text)};
    d->annotation = Ref_string(text);
    ASSERT_TRUE(Document_store(db).save_document(*d));
  }
  add_document(*t, "javascript:window.ran=6", "link");
  ASSERT_FALSE(publish_topic_page(*t, options).empty());
  ASSERT_TRUE(browser.open(url(topic_page_name(t->concept_id).str())));
  EXPECT_EQ(browser.wait_for(what_ran),
            "{\"ran\":\"undefined\",\"title\":\"6 Documents about '<script>window.ran=1</script>'\","
            "\"scripts\":0,\"iframes\":0,\"handlers\":0}");
  // The texts are there as text, as stored: the hostile title and one holding references.
  EXPECT_EQ(browser.evaluate("String(Array.from(document.links).filter(a => a.textContent === " +
                             json_quote(hostile[3]) + " || a.textContent === " + json_quote(hostile[4]) + ").length)"),
            "2");
  // The javascript: address leads nowhere instead of running when clicked.
  EXPECT_EQ(browser.evaluate("Array.from(document.links).filter(a => a.textContent === 'link').map(a => a.href).join()"),
            "about:blank");

  // The framed page: its one script keeps the address as a string, and its frames run nothing.
  Document d;
  d.url_id = 42;
  d.address = Ref_string("file:///nowhere/?a='</SCRIPT><SCRIPT>window.ran=7</SCRIPT>\"\\&b=<i>\xE2\x80\xA8");
  d.title = Ref_string(hostile[0]);
  Document_link link;
  link.search_resource = "<Alta>";
  ASSERT_EQ(framed_document_page(d, link, options), "d42.htm");
  ASSERT_TRUE(browser.open(url("d42.htm")));
  EXPECT_EQ(browser.wait_for(what_ran),
            "{\"ran\":\"undefined\",\"title\":\"<script>window.ran=1</script>\",\"scripts\":1,\"iframes\":0,\"handlers\":0}");
  EXPECT_EQ(browser.evaluate("eval(hide_ad.toString().match(/href = ('(?:[^'\\\\]|\\\\.)*')/)[1])"), d.address.str());
  EXPECT_EQ(browser.evaluate("Array.from(document.querySelectorAll('frame'), f => f.getAttribute('src')).join(' | ')"),
            "../engines/Alta.htm | " + d.address.str());
}

}  // namespace
}  // namespace orvalis::testing
