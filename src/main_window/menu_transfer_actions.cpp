#include "main_window/menu_transfer_actions.h"

#include "common/categories.h"
#include "common/design.h"
#include "main_window/form2.h"
#include "shell/program.h"
#include "sheets/order_sheet.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

namespace menu_transfer {

Outcome importIntoWindows(const QString &file)
{
    QMap<QString, QString> written;
    const Outcome outcome = importMenu(file, &written);
    if (outcome.ok)
        showOnWindows(written);
    return outcome;
}

void showOnWindows(const QMap<QString, QString> &written)
{
    Program &program = Program::current();
    for (auto entry = written.cbegin(); entry != written.cend(); ++entry) {
        const QString section = entry.key().section(u'/', 0, 0);
        const QString control = entry.key().section(u'/', 1);
        if (section == QLatin1String("Form2")) {
            if (program.form2Exists() && program.form2().isLoaded())
                program.form2().button(control)->setText(entry.value());
            continue;
        }
        for (const Category &c : categories) {
            if (section != QLatin1String(c.sheet) || !program.sheetExists(c.number))
                continue;
            OrderSheet &sheet = program.sheet(c.number);
            if (sheet.isLoaded())
                sheet.setCaption(sheet.label(control), entry.value());
        }
    }
}

}  // namespace menu_transfer

namespace {

const QString csvFilter = QStringLiteral("CSV 文件 (*.csv);;所有文件 (*)");

QString chooseFile(QWidget *parent, bool save)
{
    QFileDialog dialog(parent, save ? QStringLiteral("导出菜单") : QStringLiteral("导入菜单"));
    dialog.setObjectName(save ? QStringLiteral("导出菜单") : QStringLiteral("导入菜单"));
    dialog.setNameFilter(csvFilter);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDirectory(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    if (save)
        dialog.selectFile(QStringLiteral("菜单.csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void tell(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Tavelko"), text, QMessageBox::Ok,
                    parent);
    box.setFont(design::readingFont());
    box.exec();
}

void exportChosen(QWidget *parent)
{
    const QString file = chooseFile(parent, true);
    if (file.isEmpty())
        return;
    const menu_transfer::Outcome outcome = menu_transfer::exportMenu(file);
    if (!outcome.ok) {
        design::reportError(parent, outcome.problem.chinese);
        return;
    }
    QString text = QStringLiteral("已导出 %1 行到：\n%2")
                       .arg(outcome.rows)
                       .arg(QDir::toNativeSeparators(file));
    if (!outcome.problem.chinese.isEmpty())
        text += QStringLiteral("\n\n") + outcome.problem.chinese;
    tell(parent, text);
}

void importChosen(QWidget *parent)
{
    const QString file = chooseFile(parent, false);
    if (file.isEmpty())
        return;
    const menu_transfer::Outcome outcome = menu_transfer::importIntoWindows(file);
    if (!outcome.ok) {
        design::reportError(parent, outcome.problem.chinese);
        return;
    }
    tell(parent, QStringLiteral("已导入 %1 行。").arg(outcome.rows));
}

}  // namespace

void addMenuTransferActions(QMenu &menu, QWidget *parent)
{
    QAction *exporting = menu.addAction(QStringLiteral("导出菜单…"));
    exporting->setObjectName(QStringLiteral("导出菜单"));
    QObject::connect(exporting, &QAction::triggered, exporting, [parent] { exportChosen(parent); });
    QAction *importing = menu.addAction(QStringLiteral("导入菜单…"));
    importing->setObjectName(QStringLiteral("导入菜单"));
    QObject::connect(importing, &QAction::triggered, importing, [parent] { importChosen(parent); });
}
