#include "shell/console.h"

#include <cstdio>

void printToConsole(const std::string &utf8Text, bool error)
{
    FILE *stream = error ? stderr : stdout;
    std::fputs(utf8Text.c_str(), stream);
    std::fflush(stream);
}
