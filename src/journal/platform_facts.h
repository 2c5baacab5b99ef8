#pragma once
// What the journal asks of the platform for its messages and its files:
// who runs the program, what kind of thing lies where the journal belongs,
// the user's settings folder, which file a name stands for, and files and
// folders for the user alone. One file per platform
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

// Which file `path` names (its device and file number), the same for the
// file however it is named and never the same for a copy; empty when it
// cannot be told.
QString fileIdentity(const QString &path);

// Makes `folder` (and the folders above it) and leaves it to the user alone
// (0700), whatever the umask; a folder of the user's that others may enter
// is closed to them. false: there is no folder there.
bool makeOwnFolder(const QString &folder);

// Makes the file `path` empty and for the user alone (0600) when it is
// missing; a file of the user's that others may read loses their access.
// A file written later in its place (QSaveFile) keeps that mode.
void makeOwnFile(const QString &path);

// Why the file `path` cannot be trusted as the user's own, in Chinese: it
// is another account's, others may write it or its folder, or it is no
// plain file. Empty: it is the user's own.
QString notOwnFile(const QString &path);

// A write past the file size limit (ulimit -f) fails like a full disk
// instead of ending the program.
void ignoreFileSizeSignal();

// The write failed because a file may grow no further (a full disk or the
// file size limit): `systemError` as the system's last error number.
bool isNoRoomError(int systemError);

}  // namespace journal::platform
