/* A stand-in for tavelko.exe in the installer test: it holds the mutex the
 * program holds while it runs, says so in the file named first, and ends when
 * the file named second appears. */
#include <windows.h>

int wmain(int argc, wchar_t **argv)
{
    if (argc < 3)
        return 0;  /* --version and the like: nothing to hold */
    HANDLE running = CreateMutexW(NULL, FALSE, L"Global\\Tavelko.Running");
    HANDLE ready = CreateFileW(argv[1], GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    CloseHandle(ready);
    while (GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES)
        Sleep(50);
    CloseHandle(running);
    return 0;
}
