// Whole runs of the program built for HTTPS against the loopback TLS server.
#include "tests/e2e/E2eRun.h"
