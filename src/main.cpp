#include "shell/command_line.h"
#include "shell/program.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (const auto answer = answerCommandLine(argc, argv)) {
        std::fputs(answer->text.c_str(), stdout);
        return answer->exitCode;
    }
    QApplication application(argc, argv);
    return startProgram();
}
