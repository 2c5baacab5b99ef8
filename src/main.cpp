#include "shell/command_line.h"
#include "shell/console.h"
#include "shell/program.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (const auto answer = answerCommandLine(argc, argv)) {
        printToConsole(answer->text, answer->exitCode != 0);
        return answer->exitCode;
    }
    QApplication application(argc, argv);
    return startProgram();
}
