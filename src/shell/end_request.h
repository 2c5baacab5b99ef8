#pragma once
// The system asking the program to end (a shutdown, a logout, `kill`): the
// program quits through its event loop, so that what it does on quitting (the
// order on the main window recorded) still happens. One file per platform.

// Installs the handling; call once, with the application made.
void quitOnEndRequest();
