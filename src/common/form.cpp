#include "common/form.h"

#include "common/design.h"
#include "shell/layout_engine.h"

#include <QBackingStore>
#include <QShowEvent>

Form::Form(const QString &name, const QString &caption, int clientWidthTwips,
           int clientHeightTwips)
    : QWidget(nullptr)
{
    setObjectName(name);
    setWindowTitle(caption);
    resize(design::toPixels(clientWidthTwips, clientHeightTwips));
}

void Form::ensureLoaded()
{
    if (m_loaded)
        return;
    m_loaded = true;
    Form_Load();
}

void Form::showForm()
{
    ensureLoaded();
    show();
    activateWindow();
}

void Form::showEvent(QShowEvent *event)
{
    ensureLoaded();
    QWidget::showEvent(event);
}

void Form::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // A hidden window needs no pixels: its backing store (as large as the
    // window, for each of the eight) would otherwise stay until it shows
    // again. It is sized to the window again at the first paint after it
    // shows.
    if (QBackingStore *store = backingStore(); store && !event->spontaneous())
        store->resize(QSize(1, 1));
}

void ProportionalForm::ResizeInit()
{
    const design::Twips client = design::toTwips(rect());
    m_baseWidth = client.width;
    m_baseHeight = client.height;
    layout::recordTags(*this);
}

void ProportionalForm::ResizeForm()
{
    const design::Twips client = design::toTwips(rect());
    layout::rescale(*this, m_baseWidth, m_baseHeight, client.width, client.height);
}

void ProportionalForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (isLoaded())
        ResizeForm();
}
