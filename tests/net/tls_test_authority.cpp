#include "tls_test_authority.h"

#include <array>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "net/tls_transport.h"
#include "test_servers.h"

namespace orvalis::testing {

namespace {
const char kNew_key[] = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
}

Tls_test_authority::~Tls_test_authority() { remove_tree(dir_); }

bool Tls_test_authority::run(const std::string& command) {
  std::string line = "cd '" + dir_ + "' && " + command + " >>openssl.log 2>&1";
  return std::system(line.c_str()) == 0;
}

std::string Tls_test_authority::log() const {
  std::ifstream in(dir_ + "/openssl.log");
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Tls_test_authority::make() {
  dir_ = make_temp_dir("orvalis-tls-");
  if (dir_.empty()) return false;
  ca_file_ = dir_ + "/ca.pem";
  auto pair = [this](const char* name) {
    return Pair{dir_ + "/" + name + ".pem", dir_ + "/" + name + ".key"};
  };
  localhost_ = pair("localhost");
  other_host_ = pair("other");
  expired_ = pair("expired");
  self_signed_ = pair("self");
  // `openssl x509 -days` cannot go into the past; `openssl ca` takes explicit dates.
  write_file(dir_ + "/ca.cnf",
             "[ca]\ndefault_ca = test_ca\n"
             "[test_ca]\ndir = " + dir_ + "/db\ndatabase = $dir/index.txt\nserial = $dir/serial\n"
             "new_certs_dir = $dir\ncertificate = " + ca_file_ + "\nprivate_key = " + dir_ +
             "/ca.key\ndefault_md = sha256\npolicy = any\nunique_subject = no\n"
             "[any]\ncommonName = supplied\n"
             "[leaf]\nsubjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\n");
  write_file(dir_ + "/db/index.txt", "");
  write_file(dir_ + "/db/serial", "1000\n");
  const std::string key = kNew_key;
  bool ok = run("openssl req -x509 " + key + " -keyout ca.key -out ca.pem -days 30"
                " -subj '/CN=Orvalis Test Authority'"
                " -addext 'basicConstraints=critical,CA:TRUE'"
                " -addext 'keyUsage=critical,keyCertSign,cRLSign'");
  // Leaves signed by the authority: one for this machine, one for another host.
  for (const auto& [name, host, names] : {std::array<std::string, 3>{"localhost", "localhost", "DNS:localhost,IP:127.0.0.1"},
                                          {"other", "other.example", "DNS:other.example"}}) {
    write_file(dir_ + "/" + name + ".ext",
               "subjectAltName=" + names + "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
    ok = ok && run("openssl req " + key + " -keyout " + name + ".key -out " + name + ".csr -subj /CN=" + host) &&
         run("openssl x509 -req -in " + name + ".csr -CA ca.pem -CAkey ca.key -CAcreateserial -out " + name +
             ".pem -days 30 -extfile " + name + ".ext");
  }
  return ok &&
         run("openssl req " + key + " -keyout expired.key -out expired.csr -subj /CN=localhost") &&
         run("openssl ca -batch -config ca.cnf -in expired.csr -out expired.pem -notext"
             " -startdate 20200101000000Z -enddate 20200102000000Z -extensions leaf") &&
         run("openssl req -x509 " + key + " -keyout self.key -out self.pem -days 30"
             " -subj /CN=localhost -addext 'subjectAltName=DNS:localhost,IP:127.0.0.1'");
}

Scoped_trust::Scoped_trust(const std::string& ca_file) {
  if (const char* old = std::getenv("SSL_CERT_FILE")) {
    had_ = true;
    saved_ = old;
  }
  ::setenv("SSL_CERT_FILE", ca_file.c_str(), 1);
  tls_shutdown();
}

Scoped_trust::~Scoped_trust() {
  if (had_)
    ::setenv("SSL_CERT_FILE", saved_.c_str(), 1);
  else
    ::unsetenv("SSL_CERT_FILE");
  tls_shutdown();
}

}  // namespace orvalis::testing
