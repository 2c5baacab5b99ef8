#include "shell/end_request.h"

// On Windows a shutdown or logout reaches the program as window messages
// (WM_QUERYENDSESSION, WM_ENDSESSION) that Qt's platform plugin handles
// itself; there are no signals to catch here.
void quitOnEndRequest() {}
