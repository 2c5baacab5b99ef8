#pragma once
// Finishing a QSaveFile. commit() flushes its buffer while closing but does
// not look at the result: a last write that fails (a full disk) would pass
// for success and leave a cut file in place. Flushing first catches it; the
// QSaveFile then throws its new file away and the old one stays.

#include <QSaveFile>

inline bool commitWhole(QSaveFile &file)
{
    return file.flush() && file.commit();
}
