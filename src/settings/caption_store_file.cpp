// The caption store as an INI file (Linux: ~/.config/Tavelko/Tavelko.conf).
//
// Qt's own settings writer cannot be trusted with the user's only copy: it
// renames its temporary file over the old one even after a write failed, and
// it waits half a minute for a lock a killed run left behind. So the whole
// store is written to a new file beside it, read back and compared, and only
// then renamed over the old one; the old one is kept under a second name
// until the renamed file has been read back too.

#include "settings/store_backend.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QStorageInfo>
#include <QStringDecoder>
#include <QTemporaryFile>

#include <cerrno>
#include <optional>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace settings::backend {

namespace {

QString storeFile()
{
    // Qt's native format on Linux is its INI format, in a file named .conf.
    static const QString file =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Tavelko"),
                  QStringLiteral("Tavelko"))
            .fileName();
    return file;
}

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

Snapshot readFile(const QString &path)
{
    Snapshot snapshot;
    const QFileInfo info(path);
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
    QFile file(path);
    if (!file.exists())
        return snapshot;  // nothing stored yet
    if (!file.open(QIODevice::ReadOnly)) {
        snapshot.condition = Condition::Unreadable;
        snapshot.reason = file.error() == QFileDevice::OpenError && !info.isReadable()
                              ? QStringLiteral("没有读取权限")
                              : file.errorString();
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
        bytes += 2 * (it.key().toUtf8().size() + it.value().toUtf8().size() + 4);
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

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
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

// A name beside the store that nothing uses, of the form the leftovers
// pattern knows.
QString unusedName(const QString &file)
{
    QTemporaryFile probe(file + QStringLiteral(".XXXXXX"));
    probe.open();
    return probe.fileName();  // removed again as `probe` goes
}

}  // namespace

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
    static const QRegularExpression leftover(
        QStringLiteral("^%1\\.(lock|[A-Za-z0-9]{6}(\\.[A-Za-z0-9]{6})?(\\.lock)?)$")
            .arg(QRegularExpression::escape(name)));
    const QDir folder(storeFolder());
    const QStringList found =
        folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    // Temporary names end in six random letters and digits; a word in small
    // letters ("backup") is the user's own name, and is left alone.
    static const QRegularExpression word(QStringLiteral("\\.[a-z]{6}(\\.|$)"));
    for (const QString &entry : found)
        if (leftover.match(entry).hasMatch() && !word.match(entry.mid(name.size())).hasMatch())
            QFile::remove(folder.filePath(entry));
}

// Copies are "<file>.bak", then "<file>.bak.2", "<file>.bak.3", ...
static QString copyName(int n)
{
    const QString first = storeFile() + QStringLiteral(".bak");
    return n == 1 ? first : first + u'.' + QString::number(n);
}

QString copyNameFor(const Snapshot &damaged)
{
    int n = 1;
    for (;; ++n) {
        QFile earlier(copyName(n));
        if (!earlier.exists())
            return copyName(n);
        if (earlier.open(QIODevice::ReadOnly) && earlier.readAll() == damaged.raw)
            return copyName(n);
    }
}

bool keepCopy(const Snapshot &damaged, QString *why)
{
    const QString name = copyNameFor(damaged);
    if (QFileInfo::exists(name))
        return true;  // this very file is kept already
    QSaveFile copy(name);
    if (copy.open(QIODevice::WriteOnly) && copy.write(damaged.raw) == damaged.raw.size() &&
        copy.commit())
        return true;
    *why = QStringLiteral("无法先把损坏的设置文件另存为 %1：%2")
               .arg(name, whyWriteFailed(storeFolder(), damaged.raw.size() + 4096,
                                         copy.errorString()));
    return false;
}

QString write(const Entries &before, const Entries &after)
{
    Q_UNUSED(before);  // the file itself is the earlier state: it stays until replaced
    // A store that is a link to a file elsewhere is replaced where it lies.
    const QFileInfo link(storeFile());
    const QString file = link.isSymLink() && link.exists() ? link.canonicalFilePath() : storeFile();
    const QString folder = QFileInfo(file).path();
    const qint64 needed = roomNeeded(after);

    if (!QDir().mkpath(folder))
        return QStringLiteral("无法建立设置文件夹 %1（该位置上已有同名的文件，或没有权限）")
            .arg(folder);
    const QFileInfo existing(file);
    if (existing.isDir())
        return QStringLiteral("设置文件的位置上是一个文件夹");
    if (existing.exists() && !existing.isWritable())
        return QStringLiteral("设置文件是只读的");

    // The whole new store, in a file of its own.
    QTemporaryFile fresh(file + QStringLiteral(".XXXXXX"));
    if (!fresh.open())
        return whyWriteFailed(folder, needed, QStringLiteral("无法在设置文件夹中建立文件：%1")
                                          .arg(fresh.errorString()));
    fresh.setAutoRemove(false);
    const QString freshName = fresh.fileName();
    fresh.close();
    auto giveUp = [&](const QString &reason) {
        QFile::remove(freshName);
        removeLeftovers();
        return reason;
    };
    {
        QSettings out(freshName, QSettings::IniFormat);
        for (auto it = after.cbegin(); it != after.cend(); ++it)
            out.setValue(it.key(), it.value());
        out.sync();
    }
    QFile::remove(freshName + QStringLiteral(".lock"));

    // It must read back as exactly what was meant.
    const Snapshot written = readFile(freshName);
    if (written.condition != Condition::Fine || written.entries != after)
        return giveUp(
            whyWriteFailed(folder, needed, QStringLiteral("写入后读回的内容与要保存的内容不一致")));
    if (existing.exists())
        QFile::setPermissions(freshName, existing.permissions());
    syncToDisk(freshName);

    // Swap it in, the old file kept under a second name until the new one
    // has been read back where it belongs.
    const QByteArray fileName = QFile::encodeName(file);
    QByteArray previous;
    if (existing.exists()) {
        previous = QFile::encodeName(unusedName(file));
        if (::link(fileName.constData(), previous.constData()) != 0)
            previous.clear();
    }
    if (::rename(QFile::encodeName(freshName).constData(), fileName.constData()) != 0) {
        const QString reason = QStringLiteral("无法替换设置文件：%1").arg(systemError());
        if (!previous.isEmpty())
            ::unlink(previous.constData());
        return giveUp(reason);
    }
    syncToDisk(folder);
    const Snapshot replaced = readFile(file);
    if (replaced.condition != Condition::Fine || replaced.entries != after) {
        if (!previous.isEmpty())
            ::rename(previous.constData(), fileName.constData());
        else if (!existing.exists())
            ::unlink(fileName.constData());
        syncToDisk(folder);
        return QStringLiteral("替换后读回的设置文件与要保存的内容不一致");
    }
    if (!previous.isEmpty())
        ::unlink(previous.constData());
    return {};
}

}  // namespace settings::backend
