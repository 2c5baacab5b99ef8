// Caption numbers: the reader that turns a label's text into a number and the
// writer that turns a number back into a caption.

#include "common/caption_number.h"

#include <QLocale>
#include <QTest>
#include <clocale>
#include <cmath>
#include <limits>
#include <optional>

Q_DECLARE_METATYPE(std::optional<double>)

namespace QTest {
template <>
char *toString(const std::optional<double> &value)
{
    return qstrdup(value ? qPrintable(QString::number(*value, 'g', 17)) : "overflow");
}
}  // namespace QTest

using namespace Qt::StringLiterals;

namespace {
const std::optional<double> overflow = std::nullopt;

// A readable row name: control characters spelled out, long texts cut.
QByteArray rowName(const QString &caption)
{
    QString name;
    for (QChar c : caption.left(24))
        name += c.unicode() < 32 ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0'))
                                 : QString(c);
    return (QStringLiteral("\"") + name + QStringLiteral("\"")).toUtf8();
}
}  // namespace

class TestCaptionNumber : public QObject {
    Q_OBJECT

private slots:
    void reads_data();
    void reads();
    void readsWhateverTheLocale();
    void readsHugeAndOddInputWithoutCrashing();
    void writes_data();
    void writes();
    void writesNeitherInfinityNorNan();
    void writtenCaptionsReadBackUnchanged();
    void sumsShowNoBinaryRemainder();
};

void TestCaptionNumber::reads_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<std::optional<double>>("expected");
    // clang-format off
    const std::pair<QString, std::optional<double>> rows[] = {
        // The leading number; the rest is ignored.
        {QStringLiteral("12元"), 12}, {QStringLiteral("19.5"), 19.5}, {QStringLiteral(".5"), 0.5},
        {QStringLiteral("1.2.3"), 1.2}, {QStringLiteral("1,5"), 1},
        // No leading number, including words the C library reads as numbers.
        {QString(), 0}, {QStringLiteral(" "), 0}, {QStringLiteral("abc"), 0},
        {QStringLiteral("-"), 0}, {QStringLiteral("inf"), 0}, {QStringLiteral("infinity"), 0},
        {QStringLiteral("-INF"), 0}, {QStringLiteral("nan"), 0}, {QStringLiteral("0x10"), 0},
        // Spaces, tabs and line feeds are ignored anywhere; other control
        // characters stop the reading.
        {QStringLiteral("1 2"), 12}, {QStringLiteral(" \t-\n1 .\t5 e\n2 "), -150},
        {QStringLiteral("12\r3"), 12}, {QString::fromUtf16(u"\u000112"), 0},
        {QString::fromUtf16(u"4\u00005", 3), 4}, {QStringLiteral("1\u00A02"), 1},
        // Signs and exponents.
        {QStringLiteral("+7"), 7}, {QStringLiteral("-7.25"), -7.25}, {QStringLiteral("--7"), 0},
        {QStringLiteral("25E-1"), 2.5}, {QStringLiteral("1D2"), 100}, {QStringLiteral("3e+元"), 3},
        // Hexadecimal and octal.
        {QStringLiteral("&H1F"), 31}, {QStringLiteral("&hff"), 255}, {QStringLiteral("&O17"), 15},
        {QStringLiteral("&O78"), 7}, {QStringLiteral("&H"), 0}, {QStringLiteral("&12"), 0},
        // Beyond the range of a double: reported, never a wrong finite number;
        // closer to zero than any double reads as zero.
        {QStringLiteral("1e999"), overflow}, {QStringLiteral("-1e999"), overflow},
        {QString(400, u'9'), overflow}, {QStringLiteral("&H") + QString(300, u'F'), overflow},
        {QStringLiteral("1.7976931348623157e308"), std::numeric_limits<double>::max()},
        {QStringLiteral("1e-999"), 0}, {QStringLiteral("0e99999"), 0},
        {QStringLiteral("4.9e-324"), std::numeric_limits<double>::denorm_min()},
        {QStringLiteral("0.") + QString(400, u'0') + QStringLiteral("1e5"), 0},
        {QStringLiteral("-0.") + QString(400, u'0') + QStringLiteral("1e5"), 0},
        {QStringLiteral("0.") + QString(400, u'0') + QStringLiteral("1e500"), 1e99},
        // Full-width digits, signs and point as typed in full-width mode, and
        // one leading currency sign; other look-alikes still read 0.
        {u"１２"_s, 12}, {u"3４"_s, 34}, {u"１２．５"_s, 12.5}, {u"12。5"_s, 12.5}, {u"6。5。1"_s, 6.5}, {u"－８"_s, -8}, {u"＋８"_s, 8},
        {u"８Ｅ２"_s, 8}, {u"¥8"_s, 8}, {u" ￥ 8.5元"_s, 8.5}, {u"¥-8"_s, -8}, {u"¥¥8"_s, 0},
        {u"-¥8"_s, 0}, {u"8¥"_s, 8}, {u"٣"_s, 0}, {u"＄8"_s, 0},
    };
    // clang-format on
    for (const auto &[caption, expected] : rows)
        QTest::newRow(rowName(caption).constData()) << caption << expected;
}

void TestCaptionNumber::reads()
{
    QFETCH(QString, caption);
    QFETCH(std::optional<double>, expected);
    QCOMPARE(captionValue(caption), expected);  // exact, not fuzzy
}

void TestCaptionNumber::readsWhateverTheLocale()
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    // The C library's locale too, where the machine has it.
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        qInfo("de_DE.UTF-8 is not installed; only Qt's default locale is German");
    const std::optional<double> read = captionValue(u"1.5");
    const std::optional<double> commaRead = captionValue(u"1,5");
    const QString written = captionText(1234.5);
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(before);

    QCOMPARE(read, std::optional<double>(1.5));
    QCOMPARE(commaRead, std::optional<double>(1));
    QCOMPARE(written, QStringLiteral("1234.5"));
}

void TestCaptionNumber::readsHugeAndOddInputWithoutCrashing()
{
    const qsizetype megabyte = 1 << 20;
    QCOMPARE(captionValue(QString(megabyte, u'7')), overflow);
    QCOMPARE(captionValue(QStringLiteral("0.") + QString(megabyte, u'0') + u'1'),
             std::optional<double>(0));
    QCOMPARE(captionValue(QString(megabyte, u'0') + QStringLiteral("42")),
             std::optional<double>(42));
    QCOMPARE(captionValue(QString(megabyte, u' ') + u'8' + QString(megabyte, u'\t')),
             std::optional<double>(8));

    // A view that ends inside a longer text is not read past its end.
    const QString text = QStringLiteral("12345");
    QCOMPARE(captionValue(QStringView(text).left(2)), std::optional<double>(12));
    QCOMPARE(captionValue(QStringView(text).mid(1, 0)), std::optional<double>(0));

    // Every code unit alone reads 0 unless it is one of the ten ASCII or
    // full-width digits.
    for (char16_t c = 1; c != 0; ++c) {
        const QChar ch(c);
        const double digit = (c >= u'0' && c <= u'9')       ? c - u'0'
                             : (c >= 0xFF10 && c <= 0xFF19) ? c - 0xFF10
                                                            : 0;
        if (captionValue(QStringView(&ch, 1)) != std::optional<double>(digit))
            QFAIL(qPrintable(QStringLiteral("U+%1 misread").arg(int(c), 4, 16)));
    }
}

void TestCaptionNumber::writes_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("caption");
    // clang-format off
    const std::pair<double, const char *> rows[] = {
        {0.0, "0"}, {-0.0, "0"}, {-1e-300 * 1e-300, "0"}, {20, "20"}, {-1, "-1"},
        {1234567, "1234567"}, {19.5, "19.5"}, {-0.25, "-0.25"}, {0.1 + 0.2, "0.3"}, {3 * 2.2, "6.6"},
        {123456789012345.0, "123456789012345"}, {1.23456789012345678, "1.23456789012346"},
        {1e15, "1E+15"}, {1e20, "1E+20"}, {-1.5e20, "-1.5E+20"}, {0.0001, "0.0001"},
        {2.5e-7, "2.5E-07"}, {std::numeric_limits<double>::max(), "1.79769313486231E+308"},
        {-std::numeric_limits<double>::max(), "-1.79769313486231E+308"},
    };
    // clang-format on
    for (const auto &[value, caption] : rows)
        QTest::newRow(caption) << value << QString::fromLatin1(caption);
}

void TestCaptionNumber::writes()
{
    QFETCH(double, value);
    QFETCH(QString, caption);
    QCOMPARE(captionText(value), caption);
}

void TestCaptionNumber::writesNeitherInfinityNorNan()
{
    const double inf = std::numeric_limits<double>::infinity();
    for (double value : {inf, -inf, std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::max() * 2})
        QVERIFY_THROWS_EXCEPTION(NumberOverflow, captionText(value));
}

void TestCaptionNumber::writtenCaptionsReadBackUnchanged()
{
    QList<double> values = {1,
                            -1,
                            0.3,
                            2.2,
                            6.6,
                            99.99,
                            1234.5678,
                            -42.125,
                            1e-5,
                            3.14159265358979,
                            999999999999999.0,
                            1e15,
                            1e20,
                            -7.5e30,
                            1.25e-30,
                            1e300};
    for (int cents = 1; cents <= 10000; cents += 37)
        values << cents / 100.0;
    for (double value : values) {
        const QString caption = captionText(value);
        QVERIFY2(captionValue(caption) == std::optional<double>(value), qPrintable(caption));
    }

    // The largest doubles of each sign, rounded to 15 digits, would lie past
    // the largest double: they are written rounded toward zero instead.
    double largest = std::numeric_limits<double>::max();
    for (int i = 0; i < 8; ++i, largest = std::nextafter(largest, 0.0))
        for (double value : {largest, -largest})
            QVERIFY2(std::abs(captionValue(captionText(value)).value_or(0) / value - 1) < 1e-14,
                     qPrintable(captionText(value)));
}

// Amounts that cancel, wholly or partly, as a refund row does: the sum shows
// what a cashier would add up, not the remainder of binary fractions.
void TestCaptionNumber::sumsShowNoBinaryRemainder()
{
    const double max = std::numeric_limits<double>::max();
    const std::pair<QList<double>, const char *> sums[] = {
        {{1.1, 2.2, -3.3}, "0"},        {{1.1, 6.6, -7.7}, "0"},
        {{2.2, 9.9, -12.1}, "0"},       {{1.1, 2.2, 3.3, 0.1, -6.7, 0.5}, "0.5"},
        {{100.1, -100}, "0.1"},         {{0.1, 0.2}, "0.3"},
        {{19.5, 8, 0.25}, "27.75"},     {{1e16, 1, 1, -1e16}, "0"},
        {{1e308, -1e307}, "9E+307"},    {{max, -1}, "1.79769313486231E+308"},
        {{}, "0"},                      {QList<double>(100, 0.01) << -1, "0"},
    };
    for (const auto &[amounts, caption] : sums)
        QCOMPARE(captionText(checkedSum(amounts, u"和"_s)), QString::fromLatin1(caption));
    const QList<double> tooLarge = {max, max};
    QVERIFY_THROWS_EXCEPTION(NumberOverflow, checkedSum(tooLarge, u"和"_s));
}

QTEST_GUILESS_MAIN(TestCaptionNumber)
#include "tst_caption_number.moc"
