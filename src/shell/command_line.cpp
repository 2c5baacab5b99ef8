#include "shell/command_line.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace {

// Options QApplication takes itself (with one dash or two); the ones in the
// first list are followed by a value.
constexpr std::array<std::string_view, 16> qtOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle", "session", "style", "stylesheet", "display",
    "geometry", "name", "title", "qmljsdebugger", "dialogs"};
constexpr std::array<std::string_view, 6> qtFlags = {
    "reverse", "widgetcount", "nograb", "dograb", "sync", "visual"};

bool isQtOption(std::string_view argument, bool *takesValue)
{
    argument.remove_prefix(argument.starts_with("--") ? 2 : 1);
    argument = argument.substr(0, argument.find('='));
    const auto in = [argument](const auto &list) {
        return std::find(list.begin(), list.end(), argument) != list.end();
    };
    *takesValue = in(qtOptionsWithValue);
    return *takesValue || in(qtFlags);
}

}  // namespace

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
        if (argument.size() > 1 && argument.starts_with('-')) {
            bool takesValue = false;
            if (!isQtOption(argument, &takesValue))
                return CommandLineAnswer{"tavelko: 未知选项 " + std::string(argument) +
                                             "，见 tavelko --help / unknown option " +
                                             std::string(argument) + ", see tavelko --help\n",
                                         2};
            if (takesValue && argument.find('=') == std::string_view::npos)
                ++i;  // its value is Qt's too
        }
    }
    return std::nullopt;
}
