#pragma once

#include "xls/xls_worksheet.h"

#include <QString>

#include <memory>
#include <vector>

namespace xls {

// An in-memory workbook: the sheets in order and the author name written into the file.
// The workbook owns its sheets, each sheet its ranges.
class XlsWorkbook {
public:
    XlsWorkbook() = default;
    ~XlsWorkbook();
    XlsWorkbook(const XlsWorkbook&) = delete;
    XlsWorkbook& operator=(const XlsWorkbook&) = delete;

    static constexpr int kMaxUserNameLength = 66;

    const QString& userName() const noexcept { return m_userName; }
    // Keeps the first 66 characters, then drops blanks and control characters at both ends.
    void setUserName(const QString& name);

    // Appends a new sheet named "Sheet<n>", n being the smallest number from the new sheet's
    // position (counted from 1) up that no sheet of the workbook is named with, compared
    // without regard to case. The first sheet is "Sheet1".
    XlsWorksheet& addSheet();
    int sheetCount() const noexcept { return static_cast<int>(m_sheets.size()); }
    XlsWorksheet& sheet(int index) const { return *m_sheets.at(static_cast<std::size_t>(index)); }
    // The position of `sheet`, -1 when it is not one of this workbook's sheets.
    int indexOf(const XlsWorksheet* sheet) const noexcept;
    // Destroys every sheet.
    void clear() noexcept;

private:
    QString m_userName = QStringLiteral("Korvane");
    std::vector<std::unique_ptr<XlsWorksheet>> m_sheets;
};

// Drops characters up to the blank (blanks and control characters) at both ends.
QString trimmedName(const QString& text, int maxLength);

} // namespace xls
