// The program's own version, for its version resource and its log.
#pragma once

#define ZR_VERSION_NUMBERS 1,1,0,0
#define ZR_VERSION_TEXT "1.1.0.0"
