// orvalis-demo-web: serves the demo web until interrupted, for looking at it in a browser.
//   orvalis-demo-web [ARTICLE-HOSTS]
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "demo_web/demo_web.h"

int main(int argc, char** argv) {
  int hosts = argc > 1 ? std::atoi(argv[1]) : 8;
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  // Blocked before the server's thread starts, so that only sigwait below receives them.
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  orvalis::demo::Demo_web web;
  std::string error;
  if (!web.start(error, hosts)) {
    std::fprintf(stderr, "Error: %s\n", error.c_str());
    return 1;
  }
  std::printf("Search form:  %s\nForm target:  %s (field \"%s\")\nIgnore list:  %s\n",
              web.engine_form_page().c_str(), web.engine_location().c_str(),
              orvalis::demo::Demo_web::search_field, web.ignore_list().c_str());
  for (const std::string& host : web.article_hosts()) std::printf("Article host: %s\n", host.c_str());
  std::printf("%zu articles. Ctrl-C stops.\n", web.article_addresses().size());
  std::fflush(stdout);
  int received = 0;
  sigwait(&signals, &received);
  web.stop();
  std::printf("Stopped after %ld requests.\n", web.requests_answered());
  return 0;
}
