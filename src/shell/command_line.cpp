#include "shell/command_line.h"

#include <string_view>

std::optional<CommandLineAnswer> answerCommandLine(int argc, const char *const argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i] ? argv[i] : "";
        if (argument == "--version" || argument == "-v")
            return CommandLineAnswer{"Tavelko " TAVELKO_VERSION "\n"};
        if (argument == "--help" || argument == "-h" || argument == "/?")
            return CommandLineAnswer{
                "用法: tavelko [--version] [--help]\n"
                "Usage: tavelko [--version] [--help]\n"
                "\n"
                "Tavelko 是小餐馆的点菜收银程序。不带参数启动时打开欢迎窗口。\n"
                "Tavelko is the ordering and till program of a small restaurant.\n"
                "Started without options it opens its welcome window.\n"
                "\n"
                "  --version  显示版本 / print the version\n"
                "  --help     显示本说明 / print this help\n"};
    }
    return std::nullopt;
}
