// Compressed replies and page encodings over the wire: nginx with gzip on and off and with
// charset headers, and scripted servers for the replies nginx does not make (deflate, a bomb,
// truncated and corrupt streams, codings that are not decoded).
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "net/http_connection.h"
#include "net/received_page.h"
#include "net_fixture.h"

namespace orvalis::testing {
namespace {

Scripted_server::Handler reply(std::string text) {
  return [text](Scripted_server::Peer& p) { p.write(text); };
}

// `text` compressed: gzip (window_bits 31), zlib (15) or raw deflate (-15).
std::string compressed(const std::string& text, int window_bits) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, window_bits, 9, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, text.size()) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string page_text(int sentences) {
  std::string page = "<html><head><title>Compressed page</title></head><body>";
  for (int i = 0; i < sentences; ++i)
    page += "<p>Sentence number " + std::to_string(i) + " tells the reader something worth reading.</p>\n";
  return page + "</body></html>";
}

// A gzip stream of zeros made as it is sent, up to `total` decoded bytes, until the client
// stops reading.
Scripted_server::Handler gzip_bomb(long long total) {
  return [total](Scripted_server::Peer& p) {
    if (!p.write("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: gzip\r\n\r\n")) return;
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
    static const std::string zeros(1 << 20, '\0');
    std::string out(1 << 16, '\0');
    for (long long fed = 0; fed < total && !p.stopping(); fed += static_cast<long long>(zeros.size())) {
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
      z.avail_in = static_cast<uInt>(zeros.size());
      bool ok = true;
      do {
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, Z_NO_FLUSH);
        const size_t made = out.size() - z.avail_out;
        if (made > 0 && !p.write(out.substr(0, made))) ok = false;
      } while (ok && z.avail_out == 0);
      if (!ok) break;
    }
    deflateEnd(&z);
  };
}

class Compression_test : public Net_test {
 protected:
  static void SetUpTestSuite() {
    if (!have_program("nginx")) return;
    nginx = new Nginx_server;
    if (!nginx->start("    gzip on; gzip_http_version 1.0; gzip_min_length 20; gzip_types text/plain;\n"
                      "    location /plain/ { gzip off; }\n"
                      "    location /latin/ { charset iso-8859-1; }\n"
                      "    location /koi/ { charset koi8-r; }\n")) {
      delete nginx;
      nginx = nullptr;
      return;
    }
    for (const char* folder : {"/", "/plain/"}) nginx->put(std::string(folder) + "page.html", page_text(400));
    nginx->put("/latin/cafe.html", "<title>Caf\xE9 cr\xE8me</title><p>Le caf\xE9.</p>");
    // The header names koi8-r; the meta's windows-1251 loses.
    nginx->put("/koi/news.html", "<meta charset=windows-1251><title>\xEE\xCF\xD7\xCF\xD3\xD4\xC9</title>");
    nginx->put("/shift.html", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">"
                              "<title>\x93\xFA\x96\x7B\x8C\xEA</title>");
  }
  static void TearDownTestSuite() {
    delete nginx;
    nginx = nullptr;
  }
  void SetUp() override {
    Net_test::SetUp();
    Settings_cache::instance().set("AcceptCompression", "Yes");
  }
  void TearDown() override {
    Settings_cache::instance().set("AcceptCompression", "Yes");
    Net_test::TearDown();
  }
  // The page a fetch brought, converted.
  static Received_page page_of(const Recording_task& t) {
    Received_page page = received_page(*t.connection());
    page.to_utf8();
    return page;
  }
  static std::string body_of(const Received_page& p) {
    return p.body && p.body->length() ? std::string(p.body->contents(), static_cast<size_t>(p.body->length()))
                                      : std::string();
  }
  static Nginx_server* nginx;
};
Nginx_server* Compression_test::nginx = nullptr;

TEST_F(Compression_test, NginxPagesComeCompressedAndReadTheSame) {
  if (!nginx) GTEST_SKIP() << "nginx could not be started";
  const struct {
    const char* path;
    const char* accept;
    const char* coding;
  } cases[] = {
      {"/page.html", "Yes", "gzip"},
      {"/page.html", "No", ""},
      {"/plain/page.html", "Yes", ""},
  };
  for (const auto& c : cases) {
    Settings_cache::instance().set("AcceptCompression", c.accept);
    Recording_handle t = fetch_end(nginx->url(c.path));
    ASSERT_EQ(t->status(), Network_task::succeeded) << c.path << " " << t->failure_reason();
    const Http_response_handle r = t->connection()->response();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->content_coding.str(), c.coding) << c.path << " accept " << c.accept;
    EXPECT_EQ(body_of(page_of(*t)), page_text(400)) << c.path << " accept " << c.accept;
    auto* http = dynamic_cast<Http_connection*>(t->connection());
    ASSERT_TRUE(http);
    EXPECT_EQ(http->request_text().find("Accept-Encoding: gzip, deflate\r\n") >= 0, std::string(c.accept) == "Yes");
  }
}

TEST_F(Compression_test, CharsetHeadersAndDeclarationsGiveUtf8) {
  if (!nginx) GTEST_SKIP() << "nginx could not be started";
  const struct {
    const char* path;
    const char* encoding;
    std::string text;
  } cases[] = {
      {"/latin/cafe.html", "WINDOWS-1252", "<title>Caf\xC3\xA9 cr\xC3\xA8me</title><p>Le caf\xC3\xA9.</p>"},
      {"/koi/news.html", "KOI8-R", "<meta charset=windows-1251><title>\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81"
                                   "\xD1\x82\xD0\xB8</title>"},
      {"/shift.html", "CP932", ""},
  };
  for (const auto& c : cases) {
    Recording_handle t = fetch_end(nginx->url(c.path));
    ASSERT_EQ(t->status(), Network_task::succeeded) << c.path;
    const Received_page page = page_of(*t);
    EXPECT_EQ(page.encoding.name, c.encoding) << c.path;
    if (!c.text.empty()) {
      EXPECT_EQ(body_of(page), c.text) << c.path;
    } else {
      EXPECT_NE(body_of(page).find("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"), std::string::npos) << c.path;
    }
  }
}

TEST_F(Compression_test, BombsGarbageAndUnknownCodings) {
  network_limits().max_document_bytes = 65536;
  const std::string page = page_text(50);
  const std::string gz = compressed(page, 31);
  const std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n";
  const struct {
    const char* what;
    Scripted_server::Handler handler;
    std::string body;     // expected body; "*" + n: n bytes of zeros
    const char* problem;  // a part of the body_problem; "" for none
  } cases[] = {
      {"deflate as zlib", reply(head + "Content-Encoding: deflate\r\n\r\n" + compressed(page, 15)), page, ""},
      {"deflate sent raw", reply(head + "Content-Encoding: deflate\r\n\r\n" + compressed(page, -15)), page, ""},
      {"gzip with Content-Length", reply(head + "Content-Encoding: x-gzip\r\nContent-Length: " +
                                         std::to_string(gz.size()) + "\r\n\r\n" + gz), page, ""},
      {"gzip of two members", reply(head + "Content-Encoding: gzip\r\n\r\n" + compressed("<p>one</p>", 31) +
                                    compressed("<p>two</p>", 31)), "<p>one</p><p>two</p>", ""},
      {"a 10 GB bomb stops at the limit", gzip_bomb(10LL << 30), "*", ""},
      {"truncated gzip keeps its start", reply(head + "Content-Encoding: gzip\r\n\r\n" + gz.substr(0, gz.size() / 2)),
       "prefix", ""},
      {"corrupt gzip", reply(head + "Content-Encoding: gzip\r\n\r\n" + gz.substr(0, 10) + std::string(300, '\x55')), "",
       "gzip data is corrupt"},
      {"br is not read as garbage", reply(head + "Content-Encoding: br\r\n\r\n\x1b\x2f\x00\xa4\xff\xff"), "",
       "Content-Encoding \"br\""},
      {"unknown coding", reply(head + "Content-Encoding: gzip, zstd\r\n\r\nxxxx"), "", "which Orvalis does not decode"},
  };
  for (const auto& c : cases) {
    Scripted_server server;
    ASSERT_TRUE(server.start(c.handler));
    Recording_handle t = fetch_end(server.url("/"));
    ASSERT_EQ(t->status(), Network_task::succeeded) << c.what << ": " << t->failure_reason();
    const Received_page got = received_page(*t->connection());
    const std::string body = body_of(got);
    if (c.body == "*") {
      EXPECT_EQ(static_cast<std::int64_t>(t->raw->length()), network_limits().max_document_bytes) << c.what;
      EXPECT_EQ(body.find_first_not_of('\0'), std::string::npos) << c.what;
    } else if (c.body == "prefix") {
      EXPECT_GT(body.size(), 0u) << c.what;
      EXPECT_LT(body.size(), page.size()) << c.what;
      EXPECT_EQ(page.compare(0, body.size(), body), 0) << c.what;
    } else {
      EXPECT_EQ(body, c.body) << c.what;
    }
    EXPECT_NE(got.problem.str().find(c.problem), std::string::npos) << c.what << ": " << got.problem;
    EXPECT_EQ(got.problem.empty(), std::string(c.problem).empty()) << c.what << ": " << got.problem;
    server.stop();
  }
}

}  // namespace
}  // namespace orvalis::testing
