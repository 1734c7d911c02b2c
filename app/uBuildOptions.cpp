#include "app/uBuildOptions.h"

const char* const UPDATE_INFO_URL = ZR_UPDATE_URL;
const char* const UPDATE_PUBLIC_KEY = ZR_PUBLIC_KEY;
