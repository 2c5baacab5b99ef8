// tavelko.exe is a GUI program: Windows gives it no console. Started from a
// command prompt it writes to that prompt's console; output redirected to a
// file or a pipe goes there as it is.

#include "shell/console.h"

#include <windows.h>

#include <cstdio>
#include <io.h>

void printToConsole(const std::string &utf8Text, bool error)
{
    FILE *stream = error ? stderr : stdout;
    const int descriptor = _fileno(stream);
    const intptr_t handle = descriptor >= 0 ? _get_osfhandle(descriptor) : -1;
    const bool hasOutput = handle != -1 && handle != -2;
    if (!hasOutput && AttachConsole(ATTACH_PARENT_PROCESS)) {
        SetConsoleOutputCP(CP_UTF8);
        DWORD written = 0;
        WriteFile(GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE), utf8Text.data(),
                  static_cast<DWORD>(utf8Text.size()), &written, nullptr);
        FreeConsole();
        return;
    }
    std::fputs(utf8Text.c_str(), stream);
    std::fflush(stream);
}
