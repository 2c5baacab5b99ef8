#pragma once
// Design units and design controls shared by every window: geometry is kept in
// twips (15 to a device-independent pixel), fonts in points, and every control
// carries its design name as objectName.

#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QString>
#include <optional>

namespace design {

inline constexpr int twipsPerPixel = 15;

// A rectangle in twips, as the windows are designed.
struct Twips {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The one place where twips become pixels.
int toPixels(double twips);
QRect toPixels(const Twips &rect);
QSize toPixels(int widthTwips, int heightTwips);
Twips toTwips(const QRect &pixels);

enum class Face { SongTi, KaiTi };

// The size of the labels the windows of the till are designed with (结账,
// 交班, 店铺信息): the least that text a cashier must read is shown in.
inline constexpr double readingPoints = 12;

// 宋体 or 楷体 at `points`, asking for the Windows family first and falling
// back on the free CJK families that Linux machines carry; families this
// machine does not have are left out of the list (all of them kept when it
// has none).
QFont font(Face face, double points, bool bold = false);

// 宋体 at readingPoints: for the boxes and menus that would otherwise fall to
// the platform's own (small) type, which a window's font does not reach.
QFont readingFont();

// A label that shows its caption as plain text, top-left aligned unless told.
QLabel *label(QWidget *parent, const QString &name, const Twips &rect, const QFont &font,
              const QString &caption, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop);

// A command button whose caption wraps at spaces when it is too wide.
QPushButton *button(QWidget *parent, const QString &name, const Twips &rect, const QFont &font,
                    const QString &caption);

// The modal input box for every caption the restaurant edits: title "修改",
// prompt "请输入新名称", prefilled with `current`. Returns the confirmed text,
// or std::nullopt when the user cancels (the caption then stays as it was).
// The answer is well-formed (see wellFormed). A screen reader hears its field
// as what `edited` says its box edits ("修改 牛肉面 的小份价格").
std::optional<QString> askNewName(QWidget *parent, const QString &current,
                                  const QWidget *edited = nullptr);

// `text` with every lone half of a UTF-16 surrogate pair replaced by U+FFFD.
QString wellFormed(QString text);

// True for a press of the right mouse button (with or without Shift or Ctrl):
// the press that edits a caption in place.
bool isRightPress(const QEvent *event);

// A message box in Chinese, for failures a handler stops at.
void reportError(QWidget *parent, const QString &text);
// A message box in Chinese for what the cashier should know, not a failure.
void reportInfo(QWidget *parent, const QString &text);

}  // namespace design

namespace design {

// Runs one handler's work; a NumberOverflow ends it with the message
// "数值超出范围" naming what was being computed. Whatever the work wrote before
// the overflow stays written. Returns false when the work was stopped.
template <typename Work> bool guarded(QWidget *parent, Work &&work);

}  // namespace design

#include "common/caption_number.h"

template <typename Work> bool design::guarded(QWidget *parent, Work &&work)
{
    try {
        work();
        return true;
    } catch (const NumberOverflow &overflow) {
        reportError(parent, QStringLiteral("数值超出范围：%1。\n该处的数字保持原样，请检查价格。")
                                .arg(overflow.description()));
        return false;
    }
}
