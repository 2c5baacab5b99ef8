#pragma once
// What the journal asks of the platform for its messages and its rescue
// file: who runs the program, what kind of thing lies where the journal
// belongs, and the user's settings folder. One file per platform
// (platform_facts_posix.cpp, platform_facts_win.cpp), chosen by CMake.

#include <QString>

namespace journal::platform {

// The account the program runs as, for a message: "root", "王芳".
QString currentUser();

// What lies at `path` when it is neither missing nor a regular file (or a
// link to one): "一个文件夹", "一个管道（FIFO）", "一个设备", "一个特殊文件";
// empty otherwise.
QString specialFileKind(const QString &path);

// The user's own settings folder, where the rescue file goes first:
// ~/.config on Linux, %APPDATA% (roaming) on Windows. Empty when unknown.
QString settingsFolder();

}  // namespace journal::platform
