#pragma once

#include <QLocale>
#include <QString>

namespace store {

// Number texts as the program shows them: the decimal separator and minus sign of `locale`
// (the user's system unless a default locale was set), never a thousands separator. They
// need nothing of the widgets, so the grid's cells and the summary footers share them here.

// The shortest text with up to 15 significant digits; exponent form ("1,5E-7", "2E20")
// only below 1E-5 or from 1E15 on, where a fixed form would need more than 15 digits or a
// row of leading zeros. -0 is written as 0.
QString generalNumberText(double value, const QLocale& locale = QLocale());

// The number with as many decimals as the pattern has zeros after its point ("0.00" → two).
// It is rounded half away from zero from its 15-digit reading, so a value stored as 2.675
// shows as 2,68 even though the nearest double lies a hair below 2.675.
QString patternNumberText(double value, const QString& pattern, const QLocale& locale = QLocale());

// The number of decimals a pattern like "0.0000" asks for; -1 when it is not such a pattern.
int patternDecimals(const QString& pattern);

} // namespace store
