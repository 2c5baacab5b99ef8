#include "shell/form1.h"

#include "common/accessible_names.h"
#include "common/design.h"
#include "common/touch_keys.h"
#include "main_window/form2.h"
#include "shell/program.h"

#include <QCloseEvent>

using design::Face;

Form1::Form1() : ProportionalForm(QStringLiteral("Form1"), QStringLiteral("Tavelko"), 5880, 9030)
{
    m_label1 = design::label(this, QStringLiteral("Label1"), {360, 120, 5175, 615},
                             design::font(Face::SongTi, 26.25), QStringLiteral("欢迎光临"),
                             Qt::AlignHCenter | Qt::AlignTop);
    m_c1 = design::button(this, QStringLiteral("C1"), {240, 840, 5415, 8055},
                          design::font(Face::KaiTi, 140.25, true), QStringLiteral("菜单"));
    m_c1->setFocus();
    connect(m_c1, &QPushButton::clicked, this, &Form1::C1_Click);
    tillinput::equip(this, {});
    a11y::nameBy(this, [label = m_label1] { return QStringLiteral("欢迎窗口 ") + label->text(); });
}

void Form1::Form_Load()
{
    ResizeInit();
    showForm();
}

void Form1::C1_Click()
{
    hide();
    form2().showForm();
}

void Form1::closeEvent(QCloseEvent *event)
{
    event->accept();
    Program::current().end();
}
