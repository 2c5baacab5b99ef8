// Proportional layout: the layout tags written at load, and the rescale of
// every control from its tag when a window is resized.

#include "shell/form1.h"
#include "shell/layout_engine.h"
#include "shell/program.h"
#include "testsupport.h"

#include <QLabel>
#include <QTest>

Q_DECLARE_METATYPE(design::Twips)

namespace {

QRect designPixels(const char *control)
{
    return QString::fromLatin1(control) == QStringLiteral("C1") ? QRect(16, 56, 361, 537)
                                                                : QRect(24, 8, 345, 41);
}

QWidget *welcomeControl(const char *name)
{
    return form1().findChild<QWidget *>(QString::fromLatin1(name));
}

// `actual` is `design` scaled by the two ratios, give or take the pixel that
// rounding to whole pixels may cost.
bool scaledNear(const QRect &actual, const QRect &design, double xRatio, double yRatio)
{
    auto near = [](int a, double b) { return std::abs(a - b) <= 1.0; };
    return near(actual.x(), design.x() * xRatio) && near(actual.y(), design.y() * yRatio) &&
           near(actual.width(), design.width() * xRatio) &&
           near(actual.height(), design.height() * yRatio);
}

QString describe(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// A window with one control that is never loaded unless told: its base
// client size stays 0.
class BareWindow : public ProportionalForm {
public:
    BareWindow() : ProportionalForm(QStringLiteral("Bare"), QStringLiteral("Bare"), 3000, 3000)
    {
        control = new QLabel(QStringLiteral("x"), this);
        control->setObjectName(QStringLiteral("Label1"));
        control->setGeometry(10, 20, 30, 40);
        control->setProperty(layout::tagProperty, QStringLiteral("300   600   900   1200   "));
    }
    QLabel *control;

protected:
    void Form_Load() override {}  // leaves out ResizeInit
};

}  // namespace

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void init() { testsupport::clearStore(); }

    void tagsHoldTheDesignGeometry();
    void parsesTags_data();
    void parsesTags();
    void controlWithShortTagMovesWithZeros();
    void doubleWidthScalesLeftAndWidthOnly();
    void backToDesignSizeRestoresExactly();
    void minimiseAndRestoreScalesToRestoredSize();
    void windowWithoutBaseSizeMovesNothing();
};

void TestLayout::tagsHoldTheDesignGeometry()
{
    Program program;
    program.start();
    QCOMPARE(welcomeControl("C1")->property("Tag"),
             QVariant(QStringLiteral("240   840   5415   8055   ")));
    QCOMPARE(welcomeControl("Label1")->property("Tag"),
             QVariant(QStringLiteral("360   120   5175   615   ")));
    QCOMPARE(form1().baseClientWidth(), 5880);
    QCOMPARE(form1().baseClientHeight(), 9030);
}

void TestLayout::parsesTags_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<design::Twips>("expected");

    QTest::newRow("full") << QStringLiteral("240   840   5415   8055   ")
                          << design::Twips{240, 840, 5415, 8055};
    QTest::newRow("left only") << QStringLiteral("300   ") << design::Twips{300, 0, 0, 0};
    QTest::newRow("two fields") << QStringLiteral("1   2   ") << design::Twips{1, 2, 0, 0};
    QTest::newRow("last without separator")
        << QStringLiteral("1   2   3   4") << design::Twips{1, 2, 3, 0};
    QTest::newRow("no separator") << QStringLiteral("300") << design::Twips{0, 0, 0, 0};
    QTest::newRow("empty") << QString() << design::Twips{0, 0, 0, 0};
    QTest::newRow("not a number") << QStringLiteral("abc   7   ") << design::Twips{0, 7, 0, 0};
}

void TestLayout::parsesTags()
{
    QFETCH(QString, tag);
    QFETCH(design::Twips, expected);
    const design::Twips g = layout::parseTag(tag);
    QCOMPARE(QRect(g.left, g.top, g.width, g.height),
             QRect(expected.left, expected.top, expected.width, expected.height));
}

void TestLayout::controlWithShortTagMovesWithZeros()
{
    Program program;
    program.start();
    QWidget *c1 = welcomeControl("C1");
    c1->setProperty("Tag", QStringLiteral("300   "));
    form1().resize(784, 602);
    QCOMPARE(c1->geometry(), QRect(40, 0, 0, 0));
    // The other control still follows its full tag.
    QCOMPARE(welcomeControl("Label1")->geometry(), QRect(48, 8, 690, 41));
}

void TestLayout::doubleWidthScalesLeftAndWidthOnly()
{
    Program program;
    program.start();
    form1().resize(784, 602);
    QCOMPARE(welcomeControl("C1")->geometry(), QRect(32, 56, 722, 537));
    QCOMPARE(welcomeControl("Label1")->geometry(), QRect(48, 8, 690, 41));
    QCOMPARE(welcomeControl("C1")->font().pointSizeF(), 140.25);
    QVERIFY(welcomeControl("C1")->font().bold());
    QCOMPARE(welcomeControl("Label1")->font().pointSizeF(), 26.25);
    // Tags are written once, at load.
    QCOMPARE(welcomeControl("C1")->property("Tag").toString(),
             QStringLiteral("240   840   5415   8055   "));
}

void TestLayout::backToDesignSizeRestoresExactly()
{
    Program program;
    program.start();
    // Odd sizes, so that every step rounds.
    for (const QSize size :
         {QSize(437, 611), QSize(101, 77), QSize(799, 1003), QSize(393, 601), QSize(13, 999)})
        form1().resize(size);
    form1().resize(392, 602);
    for (const char *name : {"C1", "Label1"})
        QCOMPARE(welcomeControl(name)->geometry(), designPixels(name));
}

void TestLayout::minimiseAndRestoreScalesToRestoredSize()
{
    Program program;
    program.start();
    Form1 &window = form1();
    window.resize(500, 700);  // the user dragged the border
    window.resize(1, 1);      // what a minimised client area shrinks to
    window.showMinimized();
    window.showNormal();
    window.resize(500, 700);  // restored
    QVERIFY(window.isVisible());
    for (const char *name : {"C1", "Label1"}) {
        const QRect actual = welcomeControl(name)->geometry();
        QVERIFY2(scaledNear(actual, designPixels(name), 500.0 / 392, 700.0 / 602),
                 qPrintable(QStringLiteral("%1 at %2").arg(name, describe(actual))));
    }
}

void TestLayout::windowWithoutBaseSizeMovesNothing()
{
    BareWindow window;
    window.ResizeForm();  // before any ResizeInit
    QCOMPARE(window.control->geometry(), QRect(10, 20, 30, 40));

    window.show();  // loads it; its load leaves out ResizeInit
    window.resize(400, 400);
    QCOMPARE(window.baseClientWidth(), 0);
    QCOMPARE(window.control->geometry(), QRect(10, 20, 30, 40));

    // Once recorded, the same window does follow its size.
    window.ResizeInit();
    window.resize(800, 400);
    QCOMPARE(window.control->geometry(), QRect(20, 20, 60, 40));
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
