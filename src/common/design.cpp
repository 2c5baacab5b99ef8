#include "common/design.h"

#include "common/accessible_names.h"
#include "common/caption_fit.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <cmath>

namespace design {

int toPixels(double twips)
{
    return int(std::lround(twips / twipsPerPixel));
}

QRect toPixels(const Twips &r)
{
    return QRect(toPixels(r.left), toPixels(r.top), toPixels(r.width), toPixels(r.height));
}

QSize toPixels(int widthTwips, int heightTwips)
{
    return QSize(toPixels(widthTwips), toPixels(heightTwips));
}

Twips toTwips(const QRect &r)
{
    return {r.x() * twipsPerPixel, r.y() * twipsPerPixel, r.width() * twipsPerPixel,
            r.height() * twipsPerPixel};
}

namespace {

// `wanted` less the families this machine does not have, in the same order.
// A family missing from the font database is not free: resolving a font that
// names it first has the system rank its substitutes for that family, a cost
// the start-up felt. The first family present is the one drawn either way.
// When none is present the list stays whole, for the system to substitute as
// it would.
QStringList presentFamilies(const QStringList &wanted)
{
    const QStringList known = QFontDatabase::families();
    QStringList present;
    for (const QString &family : wanted) {
        bool found = known.contains(family, Qt::CaseInsensitive);
#ifdef Q_OS_WIN
        // Windows lists a family under one name and knows it under the other
        // (SimSun, 宋体) as well; asking it is cheap there. Elsewhere the same
        // question runs every rule of fontconfig's configuration.
        found = found || QFontDatabase::hasFamily(family);
#endif
        if (found)
            present << family;
    }
    return present.isEmpty() ? wanted : present;
}

// The face's families, Windows family first, then the free CJK families Linux
// machines carry; looked up in the font database once a run.
QStringList families(Face face)
{
    const QStringList songTi {QStringLiteral("SimSun"), QStringLiteral("宋体"),
                              QStringLiteral("AR PL UMing CN"),
                              QStringLiteral("Noto Serif CJK SC")};
    const QStringList kaiTi {QStringLiteral("KaiTi"), QStringLiteral("楷体"),
                             QStringLiteral("AR PL UKai CN")};
    // The font database exists only once the application does.
    if (!qGuiApp)
        return face == Face::SongTi ? songTi : kaiTi;
    static const QStringList presentSongTi = presentFamilies(songTi);
    static const QStringList presentKaiTi = presentFamilies(kaiTi);
    return face == Face::SongTi ? presentSongTi : presentKaiTi;
}

}  // namespace

QFont font(Face face, double points, bool bold)
{
    QFont f;
    f.setFamilies(families(face));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

QFont readingFont()
{
    return font(Face::SongTi, readingPoints);
}

QLabel *label(QWidget *parent, const QString &name, const Twips &rect, const QFont &font,
              const QString &caption, Qt::Alignment alignment)
{
    auto *l = new fit::FittingLabel(caption, parent);
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText);
    l->setAlignment(alignment);
    l->setFont(font);
    l->setGeometry(toPixels(rect));
    return l;
}

namespace {

// QPushButton draws its caption on one line and cuts it; a design button
// breaks a long caption onto further lines instead ("包子 馒头" on two lines),
// and draws it smaller when even that does not fit.
class WrappingButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const QString caption = option.text;
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                      QPalette::ButtonText));
        fit::drawButtonCaption(painter, *this, area, caption);
    }
};

}  // namespace

QPushButton *button(QWidget *parent, const QString &name, const Twips &rect, const QFont &font,
                    const QString &caption)
{
    auto *b = new WrappingButton(caption, parent);
    b->setObjectName(name);
    b->setFont(font);
    b->setAutoDefault(false);
    b->setGeometry(toPixels(rect));
    return b;
}

std::optional<QString> askNewName(QWidget *parent, const QString &current, const QWidget *edited)
{
    QInputDialog box(parent);
    box.setObjectName(QStringLiteral("修改"));
    box.setWindowTitle(QStringLiteral("修改"));
    box.setLabelText(QStringLiteral("请输入新名称"));
    box.setInputMode(QInputDialog::TextInput);
    box.setTextValue(current);
    // The prompt names the field for a screen reader, so both say what is
    // edited.
    if (const QString prompt = a11y::editPrompt(edited); !prompt.isEmpty()) {
        if (QLineEdit *field = box.findChild<QLineEdit *>())
            field->setAccessibleName(prompt);
        if (QLabel *label = box.findChild<QLabel *>())
            label->setAccessibleName(prompt);
    }
    // Named here, not left to Qt's translation catalogue, which a copied
    // program may be without.
    box.setOkButtonText(QStringLiteral("确定"));
    box.setCancelButtonText(QStringLiteral("取消"));
    // The edit field holds at most 32,767 characters: an answer left as it
    // opened keeps a longer caption whole.
    const QString opened = box.textValue();
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return wellFormed(box.textValue() == opened ? current : box.textValue());
}

QString wellFormed(QString text)
{
    // A lone half of a UTF-16 pair (the Windows clipboard can carry one) has
    // no UTF-8 form: the store would write something else than is shown.
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

bool isRightPress(const QEvent *event)
{
    return event->type() == QEvent::MouseButtonPress &&
           static_cast<const QMouseEvent *>(event)->button() == Qt::RightButton;
}

void reportError(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tavelko"), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("错误"));
    box.setFont(readingFont());
    box.exec();
}

void reportInfo(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Tavelko"), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("提示"));
    box.setFont(readingFont());
    box.exec();
}

}  // namespace design
