#include "common/caption_number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n';
}

// A Chinese input method in full-width mode types "８", "－" and "．", and in
// Chinese punctuation mode the point key types "。" ("12。5"): they read as
// their ASCII forms.
QChar halfWidth(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= 0xFF10 && u <= 0xFF19)
        return QChar(char16_t(u'0' + (u - 0xFF10)));
    switch (u) {
    case 0xFF0B:
        return u'+';
    case 0xFF0D:
        return u'-';
    case 0xFF0E:
    case 0x3002:
        return u'.';
    default:
        return c;
    }
}

bool isCurrencySign(QChar c)
{
    return c == u'\u00A5' || c == u'\uFFE5';  // ¥ and the full-width ￥
}

// Cursor over the caption that skips the characters the reader ignores.
class Reader {
public:
    explicit Reader(QStringView text) : m_text(text) {}

    QChar peek()
    {
        skipBlanks();
        return m_pos < m_text.size() ? halfWidth(m_text[m_pos]) : QChar();
    }
    void advance() { ++m_pos; }
    qsizetype mark() const { return m_pos; }
    void reset(qsizetype pos) { m_pos = pos; }

private:
    void skipBlanks()
    {
        while (m_pos < m_text.size() && isBlank(m_text[m_pos]))
            ++m_pos;
    }

    QStringView m_text;
    qsizetype m_pos = 0;
};

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

int digitValue(QChar c, int base)
{
    int v = -1;
    if (isDigit(c))
        v = c.unicode() - u'0';
    else if (c >= u'a' && c <= u'f')
        v = c.unicode() - u'a' + 10;
    else if (c >= u'A' && c <= u'F')
        v = c.unicode() - u'A' + 10;
    return v >= 0 && v < base ? v : -1;
}

// "&H1F", "&O17": digits of the base after the prefix; no digits reads 0.
std::optional<double> readRadix(Reader &in, int base)
{
    double value = 0;
    for (int d; (d = digitValue(in.peek(), base)) >= 0; in.advance())
        value = value * base + d;
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> readDecimal(Reader &in)
{
    std::string number;  // the accepted characters, blanks removed
    bool negative = false;
    if (in.peek() == u'+' || in.peek() == u'-') {
        negative = in.peek() == u'-';
        in.advance();
    }

    // Decimal exponent of the first significant digit, used to tell an
    // overflow from an underflow when the conversion is out of range: the
    // significant digits before the point, less the zeros after the point
    // that stand before the first significant digit.
    std::int64_t magnitude = 0;
    bool seenNonZero = false;
    bool seenPoint = false;
    bool seenDigit = false;
    for (;; in.advance()) {
        const QChar c = in.peek();
        if (isDigit(c)) {
            seenDigit = true;
            if (c != u'0')
                seenNonZero = true;
            if (seenNonZero && !seenPoint)
                ++magnitude;
            if (!seenNonZero && seenPoint)
                --magnitude;
            number += char(c.unicode());
        } else if (c == u'.' && !seenPoint) {
            seenPoint = true;
            number += '.';
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0.0;

    // Exponent: E or D, optional sign, at least one digit; otherwise ignored.
    const QChar e = in.peek();
    if (e == u'e' || e == u'E' || e == u'd' || e == u'D') {
        const qsizetype before = in.mark();
        in.advance();
        std::string exponent = "e";
        if (in.peek() == u'+' || in.peek() == u'-') {
            exponent += char(in.peek().unicode());
            in.advance();
        }
        std::int64_t exponentValue = 0;
        bool exponentDigits = false;
        for (; isDigit(in.peek()); in.advance()) {
            exponentDigits = true;
            exponent += char(in.peek().unicode());
            if (exponentValue < 1'000'000'000)
                exponentValue = exponentValue * 10 + (in.peek().unicode() - u'0');
        }
        if (exponentDigits) {
            number += exponent;
            magnitude += exponent[1] == '-' ? -exponentValue : exponentValue;
        } else {
            in.reset(before);
        }
    }

    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                           std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        if (seenNonZero && magnitude > 0)
            return std::nullopt;  // beyond the largest double
        value = 0;                // closer to zero than the smallest double
    } else if (ec != std::errc() || !std::isfinite(value)) {
        return std::nullopt;
    }
    (void)end;
    return negative ? -value : value;
}

}  // namespace

std::optional<double> captionValue(QStringView text)
{
    Reader in(text);
    if (isCurrencySign(in.peek()))
        in.advance();
    if (in.peek() == u'&') {
        const qsizetype start = in.mark();
        in.advance();
        const QChar kind = in.peek();
        if (kind == u'h' || kind == u'H') {
            in.advance();
            return readRadix(in, 16);
        }
        if (kind == u'o' || kind == u'O') {
            in.advance();
            return readRadix(in, 8);
        }
        in.reset(start);
        return 0.0;
    }
    return readDecimal(in);
}

QString captionText(double value)
{
    if (!std::isfinite(value))
        throw NumberOverflow(QStringLiteral("写入数字"));
    if (value == 0)
        return QStringLiteral("0");  // also for negative zero

    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                std::chars_format::general, 15);
    double readBack = 0;
    if (std::from_chars(buffer, result.ptr, readBack).ec == std::errc::result_out_of_range) {
        // Rounded up past the largest double ("1.79769313486232E+308"): cut
        // the digits after the fifteenth instead, so that the caption reads
        // back as a number.
        result = std::to_chars(buffer, buffer + sizeof buffer, value,
                               std::chars_format::scientific, 16);
        char *const exponent = std::find(buffer, result.ptr, 'e');
        char *digitsEnd = exponent - 2;  // drop the sixteenth and seventeenth digits
        while (digitsEnd[-1] == '0')
            --digitsEnd;
        if (digitsEnd[-1] == '.')
            --digitsEnd;
        result.ptr = std::copy(exponent, result.ptr, digitsEnd);
    }
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    text.replace(u'e', u'E');
    return text;
}

NumberOverflow::NumberOverflow(const QString &what)
    : std::overflow_error(what.toStdString()), m_what(what)
{
}

double captionOperand(QStringView text, const QString &what)
{
    const std::optional<double> value = captionValue(text);
    if (!value)
        throw NumberOverflow(what);
    return *value;
}

double checkedResult(double value, const QString &what)
{
    if (!std::isfinite(value))
        throw NumberOverflow(what);
    return value;
}

double checkedSum(std::span<const double> amounts, const QString &what)
{
    double sum = 0, largest = 0;
    for (double amount : amounts) {
        sum = checkedResult(sum + amount, what);
        largest = std::max(largest, std::abs(amount));
    }
    if (sum == 0 || largest == 0)
        return sum;
    // The place of the fifteenth significant digit of the largest amount.
    const int place = int(std::floor(std::log10(largest))) - 14;
    const double scale = std::pow(10.0, std::abs(place));
    if (!std::isnormal(scale))
        return sum;
    // Dividing by an exact power of ten rounds once, where multiplying by
    // its inexact inverse would add an error of its own.
    const double rounded = place < 0 ? std::round(sum * scale) / scale
                                     : std::round(sum / scale) * scale;
    return std::isfinite(rounded) ? rounded : sum;
}

std::optional<std::int64_t> captionFen(double yuan, bool *exact)
{
    if (exact)
        *exact = true;
    if (!std::isfinite(yuan))
        return std::nullopt;
    if (yuan == 0)
        return 0;
    // Most amounts are the double nearest a whole number of 分 (dividing two
    // whole numbers rounds to the nearest): with at most fifteen digits, that
    // number is what the caption shows (DBL_DIG).
    if (std::abs(yuan) < 1e13) {
        const double fen = std::round(yuan * 100);
        if (fen / 100 == yuan)
            return std::int64_t(fen);
    }
    // "d.dddddddddddddde+XX": the caption's fifteen significant digits.
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, std::abs(yuan),
                                       std::chars_format::scientific, 14);
    std::uint64_t digits = 0;
    const char *p = buffer;
    for (; p < written.ptr && *p != 'e'; ++p)
        if (*p != '.')
            digits = digits * 10 + std::uint64_t(*p - '0');
    int exponent = 0;
    if (p == written.ptr || std::from_chars(p + (p[1] == '+' ? 2 : 1), written.ptr, exponent).ec != std::errc())
        return std::nullopt;
    if (exponent >= 15)
        return std::nullopt;  // 10^15 元 or more
    // The value is digits * 10^(exponent - 14) 元, digits * 10^(exponent - 12) 分.
    std::uint64_t fen = digits;
    if (exponent >= 12) {
        for (int i = 12; i < exponent; ++i)
            fen *= 10;
    } else {
        const int shift = 12 - exponent;
        if (shift > 16) {  // less than a thousandth of a 分
            fen = 0;
            if (exact)
                *exact = false;
        } else {
            std::uint64_t scale = 1;
            for (int i = 0; i < shift; ++i)
                scale *= 10;
            const std::uint64_t rest = digits % scale;
            fen = digits / scale + (rest * 2 >= scale ? 1 : 0);
            if (exact && rest != 0)
                *exact = false;
        }
    }
    const auto signedFen = std::int64_t(fen);
    return yuan < 0 ? -signedFen : signedFen;
}
