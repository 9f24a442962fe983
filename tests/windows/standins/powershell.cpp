// Stands in for powershell.exe where the plug-in starts a waiter: records its command line
// (standin_log.h) and exits with 0 at once.
#include "standin_log.h"

int main() {
    appendCommandLineToLog();
    return 0;
}
