#pragma once
// Caption numbers: every quantity, price and total of the program lives in a
// label's text. These two functions are the only way the program turns such a
// text into a number and back. Neither depends on the user's locale.

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>

// Reads the leading number of a caption, the way a cashier would read it:
//  - spaces, tabs and line feeds are ignored wherever they stand ("1 2" is 12);
//  - an optional sign, digits with at most one "." and an optional exponent
//    (E or D, with optional sign) are taken; reading stops at the first other
//    character ("12元" is 12, "0x10" is 0);
//  - full-width digits, signs and point, and "。" as a point ("12。5"), read
//    as their ASCII forms;
//  - "&H" and "&O" introduce a hexadecimal or an octal number;
//  - a text without a leading number reads 0 ("", " ", "abc", "inf", "nan").
// Returns std::nullopt when the number lies beyond the range of a double
// ("1e999", 400 digits): callers must treat that as an overflow.
std::optional<double> captionValue(QStringView text);

// Writes a number as a caption: whole values without a decimal point or digit
// grouping ("0", "20", "-1"), others with "." and at most 15 significant
// digits; very large or very small magnitudes use an exponent ("1E+20").
// Negative zero writes "0". A non-finite value throws NumberOverflow.
QString captionText(double value);

// Raised when a computation leaves the range of a double. `what` names the
// computation in words the cashier understands.
class NumberOverflow : public std::overflow_error {
public:
    explicit NumberOverflow(const QString &what);
    QString description() const { return m_what; }

private:
    QString m_what;
};

// Reads a caption that enters a computation; throws NumberOverflow naming
// `what` when the caption itself is out of range.
double captionOperand(QStringView text, const QString &what);

// Checks a computed result; throws NumberOverflow naming `what` when it left
// the range of a double. Returns the value unchanged otherwise.
double checkedResult(double value, const QString &what);

// Adds amounts, in the order given, in double precision, and rounds the sum
// to the fifteenth significant digit of the largest amount, as far as any
// caption goes: what the binary form leaves below it is not money. So
// amounts that cancel give 0 and not a remainder ("1.1 + 2.2 - 3.3" is 0,
// not 4.44089209850063E-16). Throws NumberOverflow naming `what` when the sum
// leaves the range of a double.
double checkedSum(std::span<const double> amounts, const QString &what);

// A caption amount in 分, taken from the digits its caption shows (the
// fifteen significant digits captionText writes) with integer arithmetic
// only, so that 99999990 is 9999999000 分 and 0.1 + 0.2 is 30 分. Digits
// below the 分 round half away from zero; `exact`, when given, tells whether
// there were none. nullopt for a value that is not finite or lies at 10^15 元
// or beyond either way, where the caption turns to an exponent.
std::optional<std::int64_t> captionFen(double yuan, bool *exact = nullptr);
