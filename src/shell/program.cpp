#include "shell/program.h"

#include "common/categories.h"
#include "common/design.h"
#include "journal/journal.h"
#include "main_window/form2.h"
#include "settings/caption_store.h"
#include "sheets/order_sheet.h"
#include "shell/form1.h"
#include "shell/single_instance.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <QTranslator>

namespace {
Program *currentProgram = nullptr;

// The desktop's icon theme first (the installed hicolor icon), else the copy
// inside the program.
QIcon programIcon()
{
    QIcon icon;
    for (const int size : {32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/tavelko-%1.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(QStringLiteral("tavelko"), icon);
}
}  // namespace

struct Program::Windows {
    std::unique_ptr<Form1> form1;
    std::unique_ptr<Form2> form2;
    std::array<std::unique_ptr<OrderSheet>, 6> sheets;
};

Program::Program() : m_windows(std::make_unique<Windows>())
{
    Q_ASSERT(!currentProgram);
    currentProgram = this;
}

Program::~Program()
{
    // Sheets first: they refer to the main window, never the other way round.
    for (auto &sheet : m_windows->sheets)
        sheet.reset();
    m_windows->form2.reset();
    m_windows->form1.reset();
    currentProgram = nullptr;
}

Program &Program::current()
{
    Q_ASSERT(currentProgram);
    return *currentProgram;
}

Form1 &Program::form1()
{
    if (!m_windows->form1)
        m_windows->form1 = std::make_unique<Form1>();
    return *m_windows->form1;
}

Form2 &Program::form2()
{
    if (!m_windows->form2)
        m_windows->form2 = std::make_unique<Form2>();
    return *m_windows->form2;
}

OrderSheet &Program::sheet(int category)
{
    Q_ASSERT(category >= 1 && category <= 6);
    auto &slot = m_windows->sheets[category - 1];
    if (!slot) {
        const Category &c = categories[category - 1];
        slot = std::make_unique<OrderSheet>(QString::fromLatin1(c.sheet),
                                            QString::fromLatin1(c.summary),
                                            QString::fromLatin1(c.total));
    }
    return *slot;
}

bool Program::sheetExists(int category) const
{
    return bool(m_windows->sheets[category - 1]);
}

bool Program::form2Exists() const
{
    return bool(m_windows->form2);
}

void Program::start()
{
    form1().ensureLoaded();  // its Form_Load shows it
    // The journal is opened (and checked) once the welcome window is up; a
    // damaged one it had to set aside is reported to the owner.
    QTimer::singleShot(0, &form1(), [this] {
        journal::Journal &journal = journal::programJournal();
        journal.open();
        const QString notice = journal.takeNotice();
        if (!notice.isEmpty() && !m_ended)
            design::reportError(&form1(), notice);
    });
}

void Program::recordOpenOrder(bool tellOwner)
{
    // An order still on the main window ends with the program; so do orders
    // whose earlier writes failed.
    QString failure;
    const bool recorded = m_windows->form2 ? m_windows->form2->recordHeldOrder(&failure)
                                           : journal::programJournal().flush();
    if (recorded)
        return;
    const QString text = QStringLiteral("程序结束时有订单未能记入营业记录：%1")
                             .arg(failure.isEmpty() ? journal::programJournal().error() : failure);
    if (tellOwner)
        design::reportError(nullptr, text);
    else
        qWarning("%s", qUtf8Printable(text));
}

void Program::end()
{
    m_ended = true;
    recordOpenOrder(true);
    for (auto &sheet : m_windows->sheets)
        if (sheet)
            sheet->hide();
    if (m_windows->form2)
        m_windows->form2->hide();
    if (m_windows->form1)
        m_windows->form1->hide();
    QCoreApplication::exit(0);
}

Form1 &form1()
{
    return Program::current().form1();
}

Form2 &form2()
{
    return Program::current().form2();
}

OrderSheet &orderSheet(int category)
{
    return Program::current().sheet(category);
}

int startProgram()
{
    // Before the application is renamed: the lock records the name of the
    // running executable, by which a later copy knows it is still running.
    SingleInstance instance;
    if (!instance.isFirst())
        return 0;  // the running copy comes to the front instead
    QObject::connect(&instance, &SingleInstance::requested, &bringVisibleWindowForward);
    settings::removeLeftovers();  // this is the only copy: they belong to a dead run

    QApplication::setApplicationName(QStringLiteral("Tavelko"));
    QApplication::setQuitOnLastWindowClosed(false);  // the welcome window ends the program

    // The standard dialog buttons in Chinese ("确定", "取消").
    // The translation travels inside the program, so no missing package or
    // Windows language turns them into OK / Cancel.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral(":/i18n/qtbase_zh_CN.qm")))
        QCoreApplication::installTranslator(&qtTranslator);
    QApplication::setWindowIcon(programIcon());

    Program program;
    program.start();
    // Quitting without the welcome window being closed (the desktop session
    // ending) must not lose the order on the main window either.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&program] {
        if (!program.hasEnded())
            program.recordOpenOrder(false);
    });
    return QApplication::exec();
}
