#include "shell/layout_engine.h"

#include "common/caption_number.h"

#include <QVariant>
#include <QWidget>
#include <cmath>

namespace layout {

namespace {
constexpr QStringView separator = u"   ";
}

QString tagText(const design::Twips &g)
{
    QString tag;
    for (int value : {g.left, g.top, g.width, g.height})
        tag += QString::number(value) + separator.toString();
    return tag;
}

design::Twips parseTag(QStringView tag)
{
    double fields[4] = {0, 0, 0, 0};
    qsizetype position = 0;
    for (double &field : fields) {
        const qsizetype found = tag.indexOf(separator, position);
        if (found < 0)
            continue;  // the field reads 0 and the position stays
        const std::optional<double> value = captionValue(tag.mid(position, found - position));
        field = value.value_or(0);
        position = found + 1;
    }
    auto whole = [](double v) { return int(std::lround(v)); };
    return {whole(fields[0]), whole(fields[1]), whole(fields[2]), whole(fields[3])};
}

QList<QWidget *> controlsOf(QWidget &window)
{
    QList<QWidget *> controls;
    for (QObject *child : window.children()) {
        auto *widget = qobject_cast<QWidget *>(child);
        if (widget && !widget->isWindow() && !widget->objectName().isEmpty())
            controls.append(widget);
    }
    return controls;
}

void recordTags(QWidget &window)
{
    for (QWidget *control : controlsOf(window))
        control->setProperty(tagProperty, tagText(design::toTwips(control->geometry())));
}

void rescale(QWidget &window, int baseWidth, int baseHeight, int currentWidth, int currentHeight)
{
    if (baseWidth == 0 || baseHeight == 0)
        return;  // ResizeInit never ran: there is no design layout to scale
    const double widthRatio = double(currentWidth) / baseWidth;
    const double heightRatio = double(currentHeight) / baseHeight;

    for (QWidget *control : controlsOf(window)) {
        const QVariant tag = control->property(tagProperty);
        if (!tag.isValid())
            continue;  // a control without a layout tag keeps its place
        const design::Twips g = parseTag(tag.toString());
        const double left = g.left * widthRatio;
        const double top = g.top * heightRatio;
        const double width = g.width * widthRatio;
        const double height = g.height * heightRatio;
        if (!std::isfinite(left + top + width + height))
            continue;
        control->setGeometry(design::toPixels(left), design::toPixels(top),
                             design::toPixels(width), design::toPixels(height));
    }
}

}  // namespace layout
