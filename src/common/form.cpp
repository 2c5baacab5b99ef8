#include "common/form.h"

#include "common/design.h"
#include "shell/layout_engine.h"

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
