// Tls_transport is the client side of one TLS session over a connected, non-blocking socket:
// the handshake in steps (each says whether it waits for the socket to become readable or
// writable), reads and writes of application bytes, and a best-effort close_notify. The
// server's certificate chain is checked against the system's trust store (SSL_CERT_FILE and
// SSL_CERT_DIR are honoured) and its name against the host the caller asked for, unless the
// setting VerifyCertificates is "no". The host is sent as SNI when it is a name; a literal
// IPv4 address is checked against the certificate's IP entries and not sent.
//
// Owned by the connection that made it (Http_connection); the socket stays the connection's
// and is never closed here. The process keeps one SSL_CTX per verify choice, made on first
// need and freed by tls_shutdown (net_shutdown calls it; sessions still open keep their own
// reference). The last session each server handed out is kept for the next connection to
// it (resumption), until tls_shutdown. Event-loop thread only.
// REQUIRES: the socket outlives the transport's calls; no call after the socket is closed.
#pragma once

#include <string>

struct ssl_st;

namespace orvalis {

class Tls_transport {
 public:
  enum Step { done, want_read, want_write, failed };

  Tls_transport() = default;
  ~Tls_transport();
  Tls_transport(const Tls_transport&) = delete;
  Tls_transport& operator=(const Tls_transport&) = delete;

  // Names the server for session resumption ("host:port"); the host alone when not set.
  void set_session_key(const std::string& key);
  // Prepares a session on `fd` for `host`; false (with error() set) when OpenSSL refuses.
  // A session this server gave an earlier connection is offered for resumption.
  bool begin(int fd, const std::string& host, bool verify);
  // One step of the handshake.
  Step handshake();
  bool established() const { return established_; }

  // Bytes moved, 0 at the end of the stream, or -1 with errno set (EAGAIN: try later; another
  // value with error() telling why). read takes what is there, up to n.
  long read(char* into, long n);
  long write(const char* bytes, long n);
  // True when bytes already decrypted wait inside the session (the socket may be quiet).
  bool pending() const;
  // True once the server has ended the session with close_notify (reads then give 0).
  bool peer_closed() const { return peer_closed_; }

  // Sends close_notify without waiting for the peer's; only after a clean handshake.
  void shutdown();

  // Why the last step failed: the certificate check's verdict when there was one ("certificate
  // has expired", "host name mismatch"), else OpenSSL's or the socket's reason.
  const std::string& error() const { return error_; }

 private:
  void note_failure(int ssl_error);

  ssl_st* ssl_ = nullptr;
  bool established_ = false;
  bool broken_ = false;  // no more I/O: failed, or close_notify sent
  bool failed_ = false;  // a handshake, read or write failed
  int deferred_errno_ = 0;  // a read failure held back while its read delivered bytes
  bool peer_closed_ = false;  // close_notify received
  bool verify_ = true;
  std::string session_key_;
  std::string error_;
};

// Frees the process's TLS contexts; the next session makes them again (reading the trust
// store anew). Called by net_shutdown.
void tls_shutdown();

}  // namespace orvalis
