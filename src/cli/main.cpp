// orvalis-cli: the Orvalis engine without a window, for scripting, servers and tests.
#include "cli/cli.h"
#include "platform/clock.h"

int main(int argc, char** argv) {
  orvalis::platform::use_user_locale();  // dates in published pages follow the user's locale
  return orvalis::cli::run(argc, argv);
}
