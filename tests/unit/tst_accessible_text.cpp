// Every text a screen reader can read in the program's windows answers every
// question about its pieces: the character, word, sentence or line at, before
// and after each offset from 0 to the end, and the run of attributes there,
// on empty, numeric and Chinese texts. A question that never returns hangs
// the till, so the walk runs under a watchdog that ends the test instead.

#include "common/accessible_names.h"
#include "common/accessible_text.h"
#include "journal/journal_service.h"
#include "main_window/form2.h"
#include "main_window/open_order_dialogs.h"
#include "payment/cash_up_window.h"
#include "payment/payment_window.h"
#include "payment/shop_settings.h"
#include "payment/shop_window.h"
#include "shell/program.h"
#include "takings/takings_window.h"
#include "testsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace testsupport;

namespace {

const QStringList samples{QString(), QStringLiteral("100"), QStringLiteral("40.5"),
                          QStringLiteral("牛肉面 小份 ×2"), QStringLiteral("第一句。第二句！ 3号桌")};

const QList<QAccessible::TextBoundaryType> boundaries{
    QAccessible::CharBoundary, QAccessible::WordBoundary, QAccessible::SentenceBoundary,
    QAccessible::LineBoundary};

// Ends the whole test if it is not let go within `seconds`: a question that
// hangs never comes back to say so.
class Watchdog {
public:
    explicit Watchdog(int seconds)
        : m_thread([this, seconds] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (!m_done.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_over; }))
                  qFatal("a screen reader's question about a text field never returned");
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_over = true;
        }
        m_done.notify_all();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_over = false;
    std::thread m_thread;
};

// What is wrong with the answers of `face`'s text, or nothing.
QString faultsOf(QAccessibleInterface *face, const QString &where)
{
    QAccessibleTextInterface *t = face->textInterface();
    const QString all = t->text(0, t->characterCount());
    const int length = int(all.size());
    const QString at = QStringLiteral("%1 holding \"%2\"").arg(where, all);
    for (int offset = 0; offset <= length; ++offset) {
        for (QAccessible::TextBoundaryType boundary : boundaries) {
            int s[3], e[3];
            const QString pieces[3] = {t->textBeforeOffset(offset, boundary, &s[0], &e[0]),
                                       t->textAtOffset(offset, boundary, &s[1], &e[1]),
                                       t->textAfterOffset(offset, boundary, &s[2], &e[2])};
            for (int i = 0; i < 3; ++i) {
                if (s[i] == -1 && pieces[i].isEmpty())
                    continue;
                if (s[i] < 0 || s[i] > e[i] || e[i] > length || pieces[i] != all.mid(s[i], e[i] - s[i]))
                    return QStringLiteral("%1: piece %2 of kind %3 at %4 is \"%5\" [%6, %7]")
                        .arg(at).arg(i).arg(boundary).arg(offset).arg(pieces[i]).arg(s[i]).arg(e[i]);
            }
            // The piece at an offset inside the text holds it, or ends at it
            // (a text view's word before a space).
            if (offset < length && !(s[1] <= offset && offset <= e[1]))
                return QStringLiteral("%1: the piece of kind %2 at %3 is [%4, %5]")
                    .arg(at).arg(boundary).arg(offset).arg(s[1]).arg(e[1]);
        }
        // The run of attributes at a character holds it, so a value is read
        // to its end.
        int start = 0, end = 0;
        t->attributes(offset, &start, &end);
        if (offset < length && !(start <= offset && offset < end))
            return QStringLiteral("%1: the attribute run at %2 is [%3, %4]").arg(at).arg(offset).arg(start).arg(end);
    }
    return QString();
}

// Asks every text of `window` everything, with each sample in each field.
// Returns the faults found and counts the texts asked.
QStringList walk(QWidget *window, int *asked)
{
    QStringList faults;
    QList<QWidget *> all = window->findChildren<QWidget *>();
    all.prepend(window);
    for (QWidget *w : all) {
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(w);
        if (!face || !face->textInterface())
            continue;
        const QString where = window->objectName() + u'/' + w->metaObject()->className() + u' ' +
                              (w->objectName().isEmpty() ? face->text(QAccessible::Name) : w->objectName());
        auto *field = qobject_cast<QLineEdit *>(w);
        auto *page = qobject_cast<QPlainTextEdit *>(w);
        if (auto *box = qobject_cast<QComboBox *>(w); box && !box->isEditable() &&
            face->textInterface()->text(0, face->textInterface()->characterCount()) != box->currentText())
            faults << where + QStringLiteral(": its text is not its choice");
        const QStringList texts = field || page ? samples : QStringList{QString()};
        for (const QString &text : texts) {
            if (field)
                field->setText(text);
            else if (page)
                page->setPlainText(text);
            ++*asked;
            const QString fault = faultsOf(face, where);
            if (!fault.isEmpty())
                faults << fault;
        }
    }
    return faults;
}

}  // namespace

class TestAccessibleText : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { a11y::install(); }

    void everyTextAnswersEveryQuestion();
};

void TestAccessibleText::everyTextAnswersEveryQuestion()
{
    clearStore();
    QTemporaryDir folder;
    const payment::ShopSettings shop;
    journal::JournalService service(folder.filePath(QStringLiteral("journal")));
    payment::PaymentWindow pay(4050, shop);
    payment::CashUpWindow cashUp(journal::CashUp{}, true, shop);
    payment::ShopWindow shopWindow(shop, nullptr, folder.path());
    takings::TakingsWindow takings(service);

    int asked = 0;
    QStringList faults;
    Watchdog watchdog(30);
    for (QWidget *window : QList<QWidget *>{&pay, &cashUp, &shopWindow, &takings})
        faults << walk(window, &asked);
    // The input box of a caption and the box that names a table put aside.
    const ModalAnswer walkThenClose = [&](QWidget *dialog) {
        faults << walk(dialog, &asked);
        dialog->close();
    };
    Program program;
    QCOMPARE(answerModals(walkThenClose, [] { rightPress(form2().button(QStringLiteral("C1"))); }), 1);
    QCOMPARE(answerModals(walkThenClose, [] {
                 main_window::askHoldName(nullptr, QStringLiteral("3号桌"), [](const QString &) { return false; });
             }),
             1);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    // Every kind of field was asked: the payment amounts, the cash count, the
    // shop's texts, the takings' bill and day, the input box and the name box.
    QVERIFY2(asked > 60, qPrintable(QString::number(asked)));
}

QTEST_MAIN(TestAccessibleText)
#include "tst_accessible_text.moc"
