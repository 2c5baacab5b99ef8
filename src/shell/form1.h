#pragma once
// The welcome window: a greeting and the huge "菜单" button that leads to the
// main window. Closing it ends the program.

#include "common/form.h"

class QLabel;
class QPushButton;

class Form1 : public ProportionalForm {
    Q_OBJECT

public:
    Form1();

    void C1_Click();

protected:
    void Form_Load() override;
    void closeEvent(QCloseEvent *event) override;  // Form_Unload

private:
    QLabel *m_label1;
    QPushButton *m_c1;
};
