#include "app/uConst.h"

const char SILENT_SWITCH[3] = "/S";
const char SHELL_UAC_SWITCH[10] = "/ShellUAC";
const char CLIENT_WINDOW_CLASS[15] = "TZeRunMainForm";
