// A throw-away certificate authority for the https tests, made with the openssl command in a
// temporary folder (removed by the destructor): its certificate (trust it with SSL_CERT_FILE),
// a server certificate for "localhost" and 127.0.0.1, one for another name, an expired one,
// and a self-signed one that no authority vouches for. EC keys, so that making them is quick.
// Test threads only.
#pragma once

#include <string>

namespace orvalis::testing {

class Tls_test_authority {
 public:
  struct Pair {
    std::string cert;  // PEM file
    std::string key;   // PEM file
  };

  Tls_test_authority() = default;
  ~Tls_test_authority();
  Tls_test_authority(const Tls_test_authority&) = delete;
  Tls_test_authority& operator=(const Tls_test_authority&) = delete;

  // Makes everything; false (with the openssl output in log()) when a step failed.
  bool make();
  const std::string& ca_file() const { return ca_file_; }
  const Pair& localhost() const { return localhost_; }
  const Pair& other_host() const { return other_host_; }
  const Pair& expired() const { return expired_; }
  const Pair& self_signed() const { return self_signed_; }
  std::string log() const;

 private:
  bool run(const std::string& command);

  std::string dir_;
  std::string ca_file_;
  Pair localhost_, other_host_, expired_, self_signed_;
};

// Points SSL_CERT_FILE at `ca_file` for the life of the object (and back afterwards), and
// drops the process's TLS contexts both times so that the next session reads the trust anew.
class Scoped_trust {
 public:
  explicit Scoped_trust(const std::string& ca_file);
  ~Scoped_trust();
  Scoped_trust(const Scoped_trust&) = delete;
  Scoped_trust& operator=(const Scoped_trust&) = delete;

 private:
  bool had_ = false;
  std::string saved_;
};

}  // namespace orvalis::testing
