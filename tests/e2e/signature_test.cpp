// Whole runs of the program built with the tests' public key: signed documents.
#include "tests/e2e/E2eRun.h"
