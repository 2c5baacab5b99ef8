#include "shell/command_line.h"

#include "shell/takings_command.h"

#include <QStringList>

#include <string_view>

std::optional<CommandLineAnswer> answerCommandLine(int argc, const char *const argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i] ? argv[i] : "";
        if (argument == "--version" || argument == "-v")
            return CommandLineAnswer{"Tavelko " TAVELKO_VERSION "\n"};
        if (argument == "--takings" || argument == "--export-takings") {
            QStringList rest;
            for (int j = i + 1; j < argc; ++j)
                rest << QString::fromLocal8Bit(argv[j]);
            return argument == "--takings" ? answerTakings(rest) : answerExportTakings(rest);
        }
        if (argument == "--help" || argument == "-h" || argument == "/?")
            return CommandLineAnswer{
                "用法: tavelko [--version] [--help] [--takings [日期]]\n"
                "      tavelko --export-takings 起始日期 结束日期 文件\n"
                "Usage: tavelko [--version] [--help] [--takings [DATE]]\n"
                "       tavelko --export-takings FROM TO FILE\n"
                "\n"
                "Tavelko 是小餐馆的点菜收银程序。不带参数启动时打开欢迎窗口。\n"
                "Tavelko is the ordering and till program of a small restaurant.\n"
                "Started without options it opens its welcome window.\n"
                "\n"
                "  --version  显示版本 / print the version\n"
                "  --help     显示本说明 / print this help\n"
                "  --takings [YYYY-MM-DD]\n"
                "             显示当天（或指定日期）的营业日结\n"
                "             print the day's takings summary (today by default)\n"
                "  --export-takings FROM TO FILE\n"
                "             将 FROM 至 TO 的订单导出为 CSV 文件（日期或 today）\n"
                "             export the orders of FROM to TO as CSV (dates or today)\n"};
    }
    return std::nullopt;
}
