#include "net/tls_transport.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>

namespace orvalis {

namespace {

// A socket BIO that sends with MSG_NOSIGNAL: a peer that resets the connection must not
// raise SIGPIPE in a program that never asked for it.
int socket_of(BIO* b) { return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(b))); }

bool retry_errno(int e) { return e == EAGAIN || e == EWOULDBLOCK || e == EINTR; }

int bio_write(BIO* b, const char* data, int n) {
  BIO_clear_retry_flags(b);
  ssize_t r = ::send(socket_of(b), data, static_cast<size_t>(n), MSG_NOSIGNAL);
  if (r < 0 && retry_errno(errno)) BIO_set_retry_write(b);
  return static_cast<int>(r);
}

int bio_read(BIO* b, char* into, int n) {
  BIO_clear_retry_flags(b);
  ssize_t r = ::recv(socket_of(b), into, static_cast<size_t>(n), 0);
  if (r < 0 && retry_errno(errno)) BIO_set_retry_read(b);
  return static_cast<int>(r);
}

long bio_ctrl(BIO*, int cmd, long, void*) { return cmd == BIO_CTRL_FLUSH ? 1 : 0; }

int bio_create(BIO* b) {
  BIO_set_init(b, 1);
  return 1;
}

int bio_destroy(BIO*) { return 1; }

BIO_METHOD* socket_method() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "orvalis socket");
    if (!m) return m;
    BIO_meth_set_write(m, bio_write);
    BIO_meth_set_read(m, bio_read);
    BIO_meth_set_ctrl(m, bio_ctrl);
    BIO_meth_set_create(m, bio_create);
    BIO_meth_set_destroy(m, bio_destroy);
    return m;
  }();
  return method;
}

constexpr std::size_t kMax_sessions = 1024;

// [0]: certificates not checked; [1]: checked.
SSL_CTX* contexts[2] = {nullptr, nullptr};

// The last session each server gave us, by "verify|host|port", so that the next connection
// can resume it instead of a full handshake (and a full check of the chain). One per server
// at most; the contexts' own caches are not used.
std::map<std::string, SSL_SESSION*>& sessions() {
  static auto* table = new std::map<std::string, SSL_SESSION*>;
  return *table;
}

int session_index() {
  static int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

// OpenSSL hands over a new session (after the handshake, or with a later ticket).
int keep_session(SSL* ssl, SSL_SESSION* session) {
  auto* key = static_cast<const std::string*>(SSL_get_ex_data(ssl, session_index()));
  if (!key || !SSL_SESSION_is_resumable(session)) return 0;
  // A bound on what a long crawl of many servers keeps: make room by forgetting one.
  if (sessions().size() >= kMax_sessions && !sessions().count(*key)) {
    SSL_SESSION_free(sessions().begin()->second);
    sessions().erase(sessions().begin());
  }
  SSL_SESSION*& slot = sessions()[*key];
  if (slot) SSL_SESSION_free(slot);
  slot = session;
  return 1;  // the reference is ours now
}

void forget_session(const std::string& key) {
  auto it = sessions().find(key);
  if (it == sessions().end()) return;
  SSL_SESSION_free(it->second);
  sessions().erase(it);
}

SSL_CTX* context(bool verify) {
  SSL_CTX*& ctx = contexts[verify ? 1 : 0];
  if (ctx) return ctx;
  ctx = SSL_CTX_new(TLS_client_method());
  if (!ctx) return nullptr;
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  // HTTP/1.0 ends a response by closing the connection; many servers close without
  // close_notify, which is the end of the document here, not an error.
  SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  // Writes go out from the connection's own buffer and may be partial.
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
  SSL_CTX_sess_set_new_cb(ctx, keep_session);
  if (verify) {
    // The system's store, or the files SSL_CERT_FILE and SSL_CERT_DIR name.
    SSL_CTX_set_default_verify_paths(ctx);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  } else {
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
  }
  return ctx;
}

std::string openssl_reason(unsigned long code) {
  const char* reason = ERR_reason_error_string(code);
  if (reason) return reason;
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

}  // namespace

Tls_transport::~Tls_transport() {
  if (!ssl_) return;
  // A session freed without close_notify sent is struck from resumption. Servers end HTTP/1.0
  // responses by closing, often before we could send ours: a clean exchange keeps its session.
  if (established_ && !failed_) SSL_set_shutdown(ssl_, SSL_get_shutdown(ssl_) | SSL_SENT_SHUTDOWN);
  SSL_free(ssl_);
}

void Tls_transport::set_session_key(const std::string& key) { session_key_ = key; }

bool Tls_transport::begin(int fd, const std::string& host, bool verify) {
  ERR_clear_error();
  verify_ = verify;
  SSL_CTX* ctx = context(verify);
  BIO_METHOD* method = socket_method();
  if (!ctx || !method || ssl_) {
    error_ = "TLS is not available";
    return false;
  }
  ssl_ = SSL_new(ctx);
  BIO* bio = ssl_ ? BIO_new(method) : nullptr;
  if (!bio) {
    error_ = "TLS is not available";
    return false;
  }
  BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
  SSL_set_bio(ssl_, bio, bio);  // the session owns the BIO; the socket stays ours
  SSL_set_connect_state(ssl_);
  if (session_key_.empty()) session_key_ = host;
  session_key_ = (verify ? "1|" : "0|") + session_key_;
  SSL_set_ex_data(ssl_, session_index(), &session_key_);
  if (auto it = sessions().find(session_key_); it != sessions().end())
    SSL_set_session(ssl_, it->second);

  in_addr v4{};
  const bool literal = inet_pton(AF_INET, host.c_str(), &v4) == 1;
  bool ok = true;
  if (!literal && !host.empty()) ok = SSL_set_tlsext_host_name(ssl_, host.c_str()) == 1;
  if (ok && verify) {
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
    if (literal) {
      ok = X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) == 1;
    } else {
      X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
      ok = SSL_set1_host(ssl_, host.c_str()) == 1;
    }
  }
  if (!ok) {
    error_ = "cannot use the host name \"" + host + "\"";
    return false;
  }
  return true;
}

void Tls_transport::note_failure(int ssl_error) {
  broken_ = true;
  failed_ = true;
  long verdict = ssl_ ? SSL_get_verify_result(ssl_) : X509_V_OK;
  unsigned long code = ERR_peek_last_error();
  if (verify_ && verdict != X509_V_OK) {
    error_ = verdict == X509_V_ERR_HOSTNAME_MISMATCH || verdict == X509_V_ERR_IP_ADDRESS_MISMATCH
                 ? std::string("host name mismatch")
                 : std::string(X509_verify_cert_error_string(verdict));
  } else if (code != 0) {
    error_ = openssl_reason(code);
  } else if (ssl_error == SSL_ERROR_SYSCALL && errno != 0) {
    error_ = std::strerror(errno);
  } else if (ssl_error == SSL_ERROR_SYSCALL || ssl_error == SSL_ERROR_ZERO_RETURN) {
    error_ = "the server closed the connection";
  } else {
    error_ = "TLS error " + std::to_string(ssl_error);
  }
  ERR_clear_error();
}

Tls_transport::Step Tls_transport::handshake() {
  if (!ssl_ || broken_) return failed;
  ERR_clear_error();
  errno = 0;
  int r = SSL_do_handshake(ssl_);
  if (r == 1) {
    established_ = true;
    return done;
  }
  int e = SSL_get_error(ssl_, r);
  if (e == SSL_ERROR_WANT_READ) return want_read;
  if (e == SSL_ERROR_WANT_WRITE) return want_write;
  note_failure(e);
  // A session that led to a failure is not offered again.
  forget_session(session_key_);
  return failed;
}

long Tls_transport::read(char* into, long n) {
  if (deferred_errno_ != 0) {
    // The failure that came after the bytes the last read delivered.
    errno = deferred_errno_;
    deferred_errno_ = 0;
    return -1;
  }
  if (!ssl_ || broken_) {
    errno = EPROTO;
    return -1;
  }
  long total = 0;
  while (total < n) {
    ERR_clear_error();
    errno = 0;
    int chunk = n - total > (1 << 30) ? (1 << 30) : static_cast<int>(n - total);
    int r = SSL_read(ssl_, into + total, chunk);
    if (r > 0) {
      total += r;
      continue;
    }
    int e = SSL_get_error(ssl_, r);
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
      if (total > 0) return total;
      errno = EAGAIN;
      return -1;
    }
    if (e == SSL_ERROR_ZERO_RETURN) {  // close_notify: the server's reply is whole
      peer_closed_ = true;
      return total;
    }
    int saved = errno;
    note_failure(e);
    const int code = saved != 0 && e == SSL_ERROR_SYSCALL ? saved : EPROTO;
    // Bytes already taken are delivered; the failure shows on the next read.
    if (total > 0) {
      deferred_errno_ = code;
      return total;
    }
    errno = code;
    return -1;
  }
  return total;
}

long Tls_transport::write(const char* bytes, long n) {
  if (!ssl_ || broken_) {
    errno = EPROTO;
    return -1;
  }
  if (n <= 0) return 0;
  ERR_clear_error();
  errno = 0;
  int chunk = n > (1 << 30) ? (1 << 30) : static_cast<int>(n);
  int r = SSL_write(ssl_, bytes, chunk);
  if (r > 0) return r;
  int e = SSL_get_error(ssl_, r);
  if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
    errno = EAGAIN;
    return -1;
  }
  int saved = errno;
  note_failure(e);
  errno = saved != 0 && e == SSL_ERROR_SYSCALL ? saved : EPROTO;
  return -1;
}

bool Tls_transport::pending() const { return ssl_ && SSL_pending(ssl_) > 0; }

void Tls_transport::shutdown() {
  if (!ssl_ || !established_ || broken_) return;
  ERR_clear_error();
  // One try: close_notify goes out if the socket takes it; the peer's is not awaited.
  SSL_shutdown(ssl_);
  ERR_clear_error();
  broken_ = true;
}

void tls_shutdown() {
  for (auto& [key, session] : sessions()) SSL_SESSION_free(session);
  sessions().clear();
  for (SSL_CTX*& ctx : contexts) {
    if (ctx) SSL_CTX_free(ctx);
    ctx = nullptr;
  }
}

}  // namespace orvalis
