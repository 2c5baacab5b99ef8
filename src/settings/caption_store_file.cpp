// The caption store as an INI file (Linux: ~/.config/Tavelko/Tavelko.conf).
//
// Qt's own settings writer cannot be trusted with the user's only copy: it
// renames its temporary file over the old one even after a write failed, and
// it waits half a minute for a lock a killed run left behind. So the whole
// store is written to a new file beside it, read back and compared, and only
// then renamed over the old one; the old one is kept under a second name
// until the renamed file has been read back too. All of that happens in a
// working folder of its own beside the store, named with a marker only this
// program uses, so that what a killed run leaves behind can be told apart
// from the user's own files.

#include "settings/store_backend.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <cerrno>
#include <optional>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace settings::backend {

namespace {

QString storeFile()
{
    // Where Qt keeps the native settings of organisation and application
    // "Tavelko" on Linux: its INI format, in a file named .conf. Worked out
    // here, not asked of a QSettings object: building one reads the file at
    // once, and a pipe in its place would hold the program for good.
    static const QString file =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        QStringLiteral("/Tavelko/Tavelko.conf");
    return file;
}

// What the names of the program's own working folders beside the store
// start with, after the store's name; nothing else is ever removed.
const QString workMarker = QStringLiteral(".tavelko-tmp-");

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Where a link (or a chain of links) at `path` ends, whether or not anything
// is there; `path` itself when it is no link, empty for a loop.
QString linkEnd(const QString &path)
{
    QString at = path;
    for (int hop = 0; hop < 40; ++hop) {
        const QFileInfo info(at);
        if (!info.isSymLink())
            return at;
        at = info.symLinkTarget();
    }
    return {};
}

// Opens `path` for reading, but only a regular file: a pipe or a device is
// never waited on. -1 otherwise, with errno set.
int openRegular(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        errno = ENODEV;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// The bytes of a regular file; nothing when it cannot be read or is no
// regular file.
std::optional<QByteArray> regularBytes(const QString &path)
{
    const int fd = openRegular(path);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

// A folder of this save's own beside `file`, for the new store and whatever
// else the save needs for a while. Removed with everything in it when it
// goes; while it lives it is locked, so that another copy of the program
// cleaning up leaves it alone.
class WorkFolder {
public:
    explicit WorkFolder(const QString &file) : m_dir(file + workMarker + QStringLiteral("XXXXXX"))
    {
        if (!m_dir.isValid())
            return;
        m_lock = ::open(QFile::encodeName(m_dir.path()).constData(),
                        O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_lock >= 0)
            ::flock(m_lock, LOCK_EX | LOCK_NB);
    }
    ~WorkFolder()
    {
        m_dir.remove();
        if (m_lock >= 0)
            ::close(m_lock);
    }
    WorkFolder(const WorkFolder &) = delete;
    WorkFolder &operator=(const WorkFolder &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString errorString() const { return m_dir.errorString(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    int m_lock = -1;
};

QString storeFolder()
{
    return QFileInfo(storeFile()).path();
}

// The text of a value as Qt's INI reader gives it back.
QString textOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',');
    return value.toString();
}

// Reads the entries of an INI text through Qt's own reader, so that values
// come back exactly as Qt wrote them. False when Qt found lines it could not
// make sense of (it still reads the rest).
bool parseIni(const QString &path, Entries *entries)
{
    QSettings ini(path, QSettings::IniFormat);
    const QStringList keys = ini.allKeys();  // parses every section
    for (const QString &key : keys)
        entries->insert(key, textOf(ini.value(key)));
    return ini.status() == QSettings::NoError;
}

// UTF-16 text, with or without its byte-order mark: how its bytes decode,
// or nothing when the bytes do not look like UTF-16.
std::optional<QString> asUtf16(const QByteArray &bytes)
{
    std::optional<QStringDecoder::Encoding> encoding;
    if (bytes.startsWith("\xFF\xFE"))
        encoding = QStringDecoder::Utf16LE;
    else if (bytes.startsWith("\xFE\xFF"))
        encoding = QStringDecoder::Utf16BE;
    else if (bytes.size() >= 2) {
        qsizetype oddZeros = 0, evenZeros = 0;
        for (qsizetype i = 0; i < bytes.size(); ++i)
            if (bytes[i] == '\0')
                ++((i % 2) ? oddZeros : evenZeros);
        if (oddZeros > bytes.size() / 4 && evenZeros == 0)
            encoding = QStringDecoder::Utf16LE;
        else if (evenZeros > bytes.size() / 4 && oddZeros == 0)
            encoding = QStringDecoder::Utf16BE;
    }
    if (!encoding)
        return std::nullopt;
    QStringDecoder decoder(*encoding);
    QString text = decoder(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

// The headers of sections that appear more than once. Qt's reader takes
// them as one section, a later entry of a key winning over an earlier one,
// which the next save then drops: the file counts as damaged, so that the
// user is told and it is kept aside first.
QStringList twinSections(const QByteArray &text)
{
    QSet<QByteArray> seen;
    QStringList twins;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        end = end < 0 ? text.size() : end + 1;
        qsizetype first = start;
        while (first < end && (text[first] == ' ' || text[first] == '\t'))
            ++first;
        if (first < end && text[first] == '[') {
            const QByteArray header = text.mid(first, end - first).trimmed();
            if (seen.contains(header) && !twins.contains(QString::fromUtf8(header)))
                twins.append(QString::fromUtf8(header));
            seen.insert(header);
        }
        start = end;
    }
    return twins;
}

Snapshot readFile(const QString &path)
{
    Snapshot snapshot;
    const QFileInfo info(path);
    if (info.isSymLink() && !info.exists()) {
        const QString end = linkEnd(path);
        snapshot.condition = end.isEmpty() ? Condition::Unreadable : Condition::Dangling;
        snapshot.reason = end.isEmpty() ? QStringLiteral("设置文件是一个绕圈的链接，不指向任何文件")
                                        : end;
        return snapshot;
    }
    if (info.isDir()) {
        snapshot.condition = Condition::Unreadable;
        snapshot.reason = QStringLiteral("设置文件的位置上是一个文件夹");
        return snapshot;
    }
    if (info.exists() && !info.isFile()) {
        // A pipe would hold the window until something writes into it, a
        // device might never end.
        snapshot.condition = Condition::Unreadable;
        snapshot.reason = QStringLiteral("设置文件的位置上不是普通文件");
        return snapshot;
    }
    if (!info.exists())
        return snapshot;  // nothing stored yet
    const int fd = openRegular(path);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        snapshot.condition = Condition::Unreadable;
        snapshot.reason = errno == EACCES   ? QStringLiteral("没有读取权限")
                          : errno == ENODEV ? QStringLiteral("设置文件的位置上不是普通文件")
                          : errno == ENOENT ? QStringLiteral("设置文件在读取时消失了")
                                            : systemError();
        if (fd >= 0)
            ::close(fd);
        return snapshot;
    }
    snapshot.raw = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        snapshot.condition = Condition::Unreadable;
        snapshot.reason = file.errorString();
        return snapshot;
    }

    // A UTF-8 byte-order mark is harmless; UTF-16 is read, but the file is
    // damaged for Qt's reader and is kept aside before it is replaced.
    QByteArray text = snapshot.raw;
    QString damage;
    if (text.startsWith("\xEF\xBB\xBF")) {
        text.remove(0, 3);
    } else if (const std::optional<QString> utf16 = asUtf16(text)) {
        text = utf16->toUtf8();
        damage = QStringLiteral("文件是 UTF-16 编码，不是 UTF-8");
    }
    if (damage.isEmpty()) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString decoded = utf8.decode(text);
        if (text.contains('\0') || utf8.hasError())
            damage = QStringLiteral("文件中有不是文字的字节");
    }
    const QStringList twins = twinSections(text);
    if (!twins.isEmpty() && damage.isEmpty())
        damage = QStringLiteral("有重复的段落 %1，已一并读取，同名的项以后面的为准")
                     .arg(twins.join(u'、'));

    bool wellFormed = true;
    QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/tavelko-read-XXXXXX.conf"));
    if (copy.open() && copy.write(text) == text.size() && copy.flush()) {
        copy.close();
        wellFormed = parseIni(copy.fileName(), &snapshot.entries);
    } else {
        wellFormed = parseIni(path, &snapshot.entries);  // no room for a copy
    }
    if (damage.isEmpty() && !wellFormed)
        damage = QStringLiteral("有无法识别的行");
    if (!damage.isEmpty()) {
        snapshot.condition = Condition::Damaged;
        snapshot.reason = damage;
    }
    return snapshot;
}

// Space a store of these entries takes at most, with room to spare.
qint64 roomNeeded(const Entries &entries)
{
    qint64 bytes = 4096;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it)
        bytes += 2 * (3 * (it.key().size() + it.value().size()) + 4);  // UTF-8: 3 bytes a unit at most
    return bytes;
}

// Why writing into the store's folder failed, as far as the machine tells.
QString whyWriteFailed(const QString &folder, qint64 needed, const QString &otherwise)
{
    QStorageInfo disk(folder);
    if (disk.isValid() && disk.bytesAvailable() < needed)
        return QStringLiteral("磁盘空间不足（只剩 %1 字节）").arg(disk.bytesAvailable());
    if (!QFileInfo(folder).isWritable())
        return QStringLiteral("设置文件夹不可写（没有写入权限）");
    return otherwise;
}

// Makes sure a file's (or a folder's) contents are on the disk, not only in
// the machine's memory.
void syncToDisk(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Whether a save may not replace this file: read-only is read-only for
// root too, who could write it anyway.
bool isReadOnly(const QString &path)
{
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return false;
    if (::geteuid() == 0)
        return (status.st_mode & 0222) == 0;
    return ::access(QFile::encodeName(path).constData(), W_OK) != 0;
}

// Gives `fresh` the owner and mode of `old` (as far as this user may).
void takeOwnerAndMode(const QString &fresh, const QString &old)
{
    struct stat status;
    const QByteArray name = QFile::encodeName(fresh);
    if (::stat(QFile::encodeName(old).constData(), &status) != 0)
        return;
    if (::chown(name.constData(), status.st_uid, status.st_gid) != 0)
        (void)!::chown(name.constData(), uid_t(-1), status.st_gid);
    ::chmod(name.constData(), status.st_mode & 07777);
}

// Removes the program's own working folders (and a lock file of Qt's) that
// a run which ended abruptly left in `folder`, beside the store `name`.
void removeLeftoversIn(const QString &folder, const QString &name)
{
    const QRegularExpression leftover(
        QStringLiteral("^%1(\\.lock|%2[A-Za-z0-9]{6})$")
            .arg(QRegularExpression::escape(name), QRegularExpression::escape(workMarker)));
    const QDir dir(folder);
    const QStringList found =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : found) {
        if (!leftover.match(entry).hasMatch())
            continue;
        const QString path = dir.filePath(entry);
        const QByteArray encoded = QFile::encodeName(path);
        struct stat status;
        if (::lstat(encoded.constData(), &status) != 0)
            continue;
        if (S_ISREG(status.st_mode)) {
            ::unlink(encoded.constData());
        } else if (S_ISDIR(status.st_mode)) {
            // One that another copy of the program is still saving in stays.
            const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            const bool inUse = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
            if (!inUse)
                QDir(path).removeRecursively();
            if (fd >= 0)
                ::close(fd);
        }
    }
}

}  // namespace

void (*afterReplace)(const QString &file) = nullptr;

QString location()
{
    return storeFile();
}

Snapshot read()
{
    return readFile(storeFile());
}

void removeLeftovers()
{
    const QString name = QFileInfo(storeFile()).fileName();
    removeLeftoversIn(storeFolder(), name);
    // A store that is a link is saved where the link ends.
    const QFileInfo end(linkEnd(storeFile()));
    if (!end.filePath().isEmpty() && end.absolutePath() != QFileInfo(storeFile()).absolutePath())
        removeLeftoversIn(end.absolutePath(), end.fileName());
}

// Copies are "<file>.bak", then "<file>.bak.2", "<file>.bak.3", ...
static QString copyName(int n)
{
    const QString first = storeFile() + QStringLiteral(".bak");
    return n == 1 ? first : first + u'.' + QString::number(n);
}

QString copyNameFor(const Snapshot &damaged)
{
    for (int n = 1;; ++n) {
        const QFileInfo earlier(copyName(n));
        if (!earlier.exists() && !earlier.isSymLink())
            return copyName(n);
        if (earlier.isFile() && regularBytes(copyName(n)) == damaged.raw)
            return copyName(n);
    }
}

bool keepCopy(const Snapshot &damaged, QString *why)
{
    const QString name = copyNameFor(damaged);
    if (QFileInfo::exists(name))
        return true;  // this very file is kept already
    WorkFolder work(storeFile());
    QString error = work.errorString();
    if (work.isValid()) {
        QFile copy(work.filePath(QStringLiteral("copy")));
        if (copy.open(QIODevice::WriteOnly) && copy.write(damaged.raw) == damaged.raw.size() &&
            copy.flush() && ::fsync(copy.handle()) == 0) {
            copy.close();
            if (QFile::rename(copy.fileName(), name)) {  // never over an existing file
                syncToDisk(storeFolder());
                return true;
            }
        }
        error = copy.errorString();
    }
    *why = QStringLiteral("无法先把损坏的设置文件另存为 %1：%2")
               .arg(name, whyWriteFailed(storeFolder(), damaged.raw.size() + 4096, error));
    return false;
}

QString write(const Entries &before, const Entries &after)
{
    Q_UNUSED(before);  // the file itself is the earlier state: it stays until replaced
    // A store that is a link to a file elsewhere is replaced where it lies;
    // a link to a file not there yet makes that file.
    const QString file = linkEnd(storeFile());
    if (file.isEmpty())
        return QStringLiteral("设置文件是一个绕圈的链接，不指向任何文件");
    const QString folder = QFileInfo(file).path();
    const qint64 needed = roomNeeded(after);

    if (!QDir().mkpath(folder))
        return QStringLiteral("无法建立设置文件夹 %1（该位置上已有同名的文件，或没有权限）")
            .arg(folder);
    const QFileInfo existing(file);
    if (existing.isDir())
        return QStringLiteral("设置文件的位置上是一个文件夹");
    if (existing.exists() && !existing.isFile())
        return QStringLiteral("设置文件的位置上不是普通文件");
    if (existing.exists() && isReadOnly(file))
        return QStringLiteral("设置文件是只读的");

    // The whole new store, in a file of its own.
    WorkFolder work(file);
    if (!work.isValid())
        return whyWriteFailed(folder, needed, QStringLiteral("无法在设置文件夹中建立文件：%1")
                                          .arg(work.errorString()));
    const QString freshName = work.filePath(QStringLiteral("new.conf"));
    {
        QSettings out(freshName, QSettings::IniFormat);
        for (auto it = after.cbegin(); it != after.cend(); ++it)
            out.setValue(it.key(), it.value());
        out.sync();
    }

    // It must read back as exactly what was meant.
    const Snapshot written = readFile(freshName);
    if (written.condition != Condition::Fine || written.entries != after)
        return whyWriteFailed(folder, needed,
                              QStringLiteral("写入后读回的内容与要保存的内容不一致"));
    if (existing.exists())
        takeOwnerAndMode(freshName, file);
    syncToDisk(freshName);

    // Swap it in, the old file kept under a second name until the new one
    // has been read back where it belongs.
    const QByteArray fileName = QFile::encodeName(file);
    QByteArray previous;
    if (existing.exists()) {
        previous = QFile::encodeName(work.filePath(QStringLiteral("previous.conf")));
        if (::link(fileName.constData(), previous.constData()) != 0)
            previous.clear();
    }
    if (::rename(QFile::encodeName(freshName).constData(), fileName.constData()) != 0)
        return QStringLiteral("无法替换设置文件：%1").arg(systemError());
    syncToDisk(folder);
    if (afterReplace)
        afterReplace(file);
    // The bytes just checked must be what is there now.
    if (regularBytes(file) != written.raw) {
        if (!previous.isEmpty())
            ::rename(previous.constData(), fileName.constData());
        else if (!existing.exists())
            ::unlink(fileName.constData());
        syncToDisk(folder);
        return QStringLiteral("替换后读回的设置文件与要保存的内容不一致");
    }
    return {};
}

}  // namespace settings::backend
