// The raw, FTP and gopher peers live in test_servers.h now.
#pragma once
#include "test_servers.h"
