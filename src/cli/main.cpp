// orvalis-cli: the Orvalis engine without a window, for scripting, servers and tests.
#include "cli/cli.h"

int main(int argc, char** argv) { return orvalis::cli::run(argc, argv); }
