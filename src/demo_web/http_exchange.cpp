#include "demo_web/http_exchange.h"

#include <cstdio>

namespace orvalis::demo {

namespace {

bool is_token_char(char c) {
  if (c >= 'a' && c <= 'z') return true;
  if (c >= 'A' && c <= 'Z') return true;
  if (c >= '0' && c <= '9') return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The lines of the head, without their line ends (CRLF or a bare LF).
std::vector<std::string_view> head_lines(std::string_view head) {
  std::vector<std::string_view> lines;
  size_t at = 0;
  while (at < head.size()) {
    size_t lf = head.find('\n', at);
    if (lf == std::string_view::npos) lf = head.size();
    std::string_view line = head.substr(at, lf - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    at = lf + 1;
  }
  return lines;
}

Request_reading failed(int status) {
  Request_reading r;
  r.status = status;
  return r;
}

}  // namespace

const std::string* Http_request::header(std::string_view name) const {
  for (const auto& [n, v] : headers)
    if (n == name) return &v;
  return nullptr;
}

Request_reading read_request(std::string_view data) {
  // The head ends with an empty line.
  size_t crlf = data.find("\r\n\r\n");
  size_t lflf = data.find("\n\n");
  size_t head_end, body_start;
  if (crlf != std::string_view::npos && (lflf == std::string_view::npos || crlf < lflf)) {
    head_end = crlf;
    body_start = crlf + 4;
  } else if (lflf != std::string_view::npos) {
    head_end = lflf;
    body_start = lflf + 2;
  } else {
    // Not complete yet, unless what has come is already not a request line.
    for (char c : data.substr(0, data.find('\n')))
      if ((static_cast<unsigned char>(c) < 0x20 && c != '\r') || c == 0x7f) return failed(400);
    return {};
  }
  std::vector<std::string_view> lines = head_lines(data.substr(0, head_end));
  if (lines.empty()) return failed(400);

  // Request line: METHOD SP target SP HTTP/x.y, nothing else.
  Request_reading r;
  Http_request& req = r.request;
  std::string_view line = lines[0];
  size_t sp1 = line.find(' ');
  size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) return failed(400);
  std::string_view method = line.substr(0, sp1);
  std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  std::string_view version = line.substr(sp2 + 1);
  if (method.empty() || target.empty()) return failed(400);
  for (char c : method)
    if (c < 'A' || c > 'Z') return failed(400);
  for (char c : target)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return failed(400);
  if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[6] != '.' ||
      version[5] < '0' || version[5] > '9' || version[7] < '0' || version[7] > '9')
    return failed(400);
  if (version != "HTTP/1.0" && version != "HTTP/1.1") return failed(505);
  // An absolute target (as sent to a proxy) is served by its path.
  if (target.substr(0, 7) == "http://") {
    size_t slash = target.find('/', 7);
    target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
  }
  if (target[0] != '/') return failed(400);
  req.method = std::string(method);
  req.version = std::string(version);
  size_t question = target.find('?');
  req.path = percent_decode(target.substr(0, question), false);
  if (question != std::string_view::npos) req.query = std::string(target.substr(question + 1));

  // Header lines: a token, a colon, the value; continuation lines are refused.
  for (size_t i = 1; i < lines.size(); ++i) {
    std::string_view h = lines[i];
    size_t colon = h.find(':');
    if (colon == 0 || colon == std::string_view::npos) return failed(400);
    std::string name;
    for (char c : h.substr(0, colon)) {
      if (!is_token_char(c)) return failed(400);
      name += lower(c);
    }
    std::string_view value = h.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    req.headers.emplace_back(std::move(name), std::string(value));
  }
  if (req.version == "HTTP/1.1" && !req.header("host")) return failed(400);

  if (req.method != "GET" && req.method != "HEAD" && req.method != "POST") return failed(501);
  if (req.method != "POST") {
    r.status = 200;
    return r;
  }
  if (req.header("transfer-encoding")) return failed(501);
  const std::string* length = req.header("content-length");
  if (!length) return failed(411);
  if (length->empty() || length->size() > 9) return failed(length->empty() ? 400 : 413);
  size_t n = 0;
  for (char c : *length) {
    if (c < '0' || c > '9') return failed(400);
    n = n * 10 + static_cast<size_t>(c - '0');
  }
  if (n > kMax_request_bytes) return failed(413);
  if (data.size() - body_start < n) return {};  // the body is still coming
  req.body = std::string(data.substr(body_start, n));
  r.status = 200;
  return r;
}

std::string percent_decode(std::string_view text, bool plus_is_blank) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+' && plus_is_blank) {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
               hex_value(text[i + 2]) >= 0) {
      out += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
      i += 2;
    } else {
      out += c;  // a stray "%" stays as it is
    }
  }
  return out;
}

std::string percent_encode(std::string_view text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      out += ch;
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

Fields read_form(std::string_view encoded) {
  Fields fields;
  size_t at = 0;
  while (at <= encoded.size()) {
    size_t amp = encoded.find('&', at);
    if (amp == std::string_view::npos) amp = encoded.size();
    std::string_view piece = encoded.substr(at, amp - at);
    if (!piece.empty()) {
      size_t eq = piece.find('=');
      std::string_view name = piece.substr(0, eq);
      std::string_view value = eq == std::string_view::npos ? std::string_view() : piece.substr(eq + 1);
      fields.emplace_back(percent_decode(name, true), percent_decode(value, true));
    }
    at = amp + 1;
  }
  return fields;
}

std::string field_value(const Fields& fields, std::string_view name) {
  for (const auto& [n, v] : fields)
    if (n == name) return v;
  return {};
}

const char* reason_phrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 501: return "Not Implemented";
    case 505: return "HTTP Version Not Supported";
    default: return "Unknown";
  }
}

std::string format_answer(const Http_answer& answer, std::string_view version, bool head_only) {
  std::string out(version.empty() ? std::string_view("HTTP/1.0") : version);
  char line[64];
  std::snprintf(line, sizeof line, " %d ", answer.status);
  out += line;
  out += reason_phrase(answer.status);
  out += "\r\nServer: orvalis-demo-web\r\nContent-Type: ";
  out += answer.content_type;
  out += "\r\nContent-Length: " + std::to_string(answer.body.size());
  out += "\r\nConnection: close\r\n";
  for (const auto& [name, value] : answer.headers) out += name + ": " + value + "\r\n";
  out += "\r\n";
  if (!head_only) out += answer.body;
  return out;
}

}  // namespace orvalis::demo
