#include "store/number_text.h"

#include <charconv>
#include <cmath>
#include <string>

namespace store {

namespace {

constexpr int kSignificantDigits = 15;

// The digits of a number's 15-digit reading: value = 0.d1d2d3… × 10^point.
struct Decimal {
    bool negative = false;
    std::string digits; // no leading zeros; empty for zero
    int point = 0;
};

Decimal toDecimal(double value)
{
    Decimal d;
    if (value == 0 || !std::isfinite(value))
        return d;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific,
                                   kSignificantDigits - 1);
    std::string_view s(buf, static_cast<std::size_t>(res.ptr - buf));
    if (!s.empty() && s.front() == '-') {
        d.negative = true;
        s.remove_prefix(1);
    }
    const auto e = s.find('e');
    int exponent = 0;
    std::from_chars(s.data() + e + 1 + (s[e + 1] == '+' ? 1 : 0), s.data() + s.size(), exponent);
    for (char c : s.substr(0, e))
        if (c != '.')
            d.digits.push_back(c);
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    d.point = exponent + 1;
    return d;
}

QString localized(const std::string& plain, const QLocale& locale)
{
    QString out;
    for (char c : plain) {
        if (c == '.')
            out += locale.decimalPoint();
        else if (c == '-')
            out += locale.negativeSign();
        else
            out += QLatin1Char(c);
    }
    return out;
}

std::string zeros(int n) { return std::string(static_cast<std::size_t>(std::max(n, 0)), '0'); }

} // namespace

QString generalNumberText(double value, const QLocale& locale)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    const Decimal d = toDecimal(value);
    if (d.digits.empty())
        return QStringLiteral("0");
    // Built by appending: GCC 12 warns falsely about "literal" + std::string chains.
    std::string out;
    if (d.negative)
        out.push_back('-');
    const int n = static_cast<int>(d.digits.size());
    const auto point = static_cast<std::size_t>(std::max(d.point, 0));
    const int exponent = d.point - 1;
    if (exponent < -5 || exponent >= kSignificantDigits) {
        out.push_back(d.digits.front());
        if (n > 1)
            out.append(".").append(d.digits, 1, std::string::npos);
        out.append("E").append(std::to_string(exponent));
    } else if (d.point <= 0) {
        out.append("0.").append(zeros(-d.point)).append(d.digits);
    } else if (d.point >= n) {
        out.append(d.digits).append(zeros(d.point - n));
    } else {
        out.append(d.digits, 0, point).append(".").append(d.digits, point, std::string::npos);
    }
    return localized(out, locale);
}

int patternDecimals(const QString& pattern)
{
    const QString p = pattern.trimmed();
    if (p.isEmpty() || p.front() != QLatin1Char('0'))
        return -1;
    const qsizetype dot = p.indexOf(QLatin1Char('.'));
    const QString whole = dot < 0 ? p : p.left(dot);
    const QString fraction = dot < 0 ? QString() : p.mid(dot + 1);
    for (QChar c : whole)
        if (c != QLatin1Char('0') && c != QLatin1Char('#'))
            return -1;
    for (QChar c : fraction)
        if (c != QLatin1Char('0'))
            return -1;
    if (dot >= 0 && fraction.isEmpty())
        return -1;
    return static_cast<int>(fraction.size());
}

QString patternNumberText(double value, const QString& pattern, const QLocale& locale)
{
    const int decimals = patternDecimals(pattern);
    if (decimals < 0 || !std::isfinite(value))
        return generalNumberText(value, locale);
    Decimal d = toDecimal(value);
    // Keep the digits down to the last decimal asked for, and round on the next one.
    const int keep = d.point + decimals;
    if (keep < static_cast<int>(d.digits.size())) {
        const bool up = keep >= 0 && d.digits[static_cast<std::size_t>(keep)] >= '5';
        d.digits.resize(static_cast<std::size_t>(std::max(keep, 0)));
        if (up) {
            int i = keep - 1;
            while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9')
                d.digits[static_cast<std::size_t>(i--)] = '0';
            if (i >= 0) {
                ++d.digits[static_cast<std::size_t>(i)];
            } else {
                d.digits.insert(d.digits.begin(), '1');
                ++d.point;
            }
        } else if (keep < 0) {
            d.digits.clear();
        }
    }
    // Write the digits out in fixed form: whole part, then exactly `decimals` decimals.
    std::string whole, fraction;
    for (int i = 0; i < d.point; ++i)
        whole.push_back(i < static_cast<int>(d.digits.size()) ? d.digits[static_cast<std::size_t>(i)] : '0');
    if (whole.empty())
        whole.push_back('0');
    for (int i = d.point; i < d.point + decimals; ++i)
        fraction.push_back(i >= 0 && i < static_cast<int>(d.digits.size()) ? d.digits[static_cast<std::size_t>(i)] : '0');
    const bool allZero = whole.find_first_not_of('0') == std::string::npos &&
                         fraction.find_first_not_of('0') == std::string::npos;
    std::string out;
    if (d.negative && !allZero)
        out.push_back('-');
    out.append(whole);
    if (decimals > 0)
        out.append(".").append(fraction);
    return localized(out, locale);
}

} // namespace store
