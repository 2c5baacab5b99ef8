#include "shell/console.h"

#include <cstdio>

void printToConsole(const std::string &utf8Text)
{
    std::fputs(utf8Text.c_str(), stdout);
    std::fflush(stdout);
}
