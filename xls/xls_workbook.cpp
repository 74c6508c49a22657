#include "xls/xls_workbook.h"

namespace xls {

QString trimmedName(const QString& text, int maxLength)
{
    const QString kept = text.left(maxLength);
    qsizetype first = 0;
    qsizetype end = kept.size();
    while (first < end && kept.at(first).unicode() <= u' ')
        ++first;
    while (end > first && kept.at(end - 1).unicode() <= u' ')
        --end;
    return kept.mid(first, end - first);
}

XlsWorkbook::~XlsWorkbook() = default;

void XlsWorkbook::setUserName(const QString& name)
{
    m_userName = trimmedName(name, kMaxUserNameLength);
}

XlsWorksheet& XlsWorkbook::addSheet()
{
    const auto taken = [this](const QString& name) {
        for (const auto& sheet : m_sheets)
            if (sheet->name().compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    };
    int n = sheetCount() + 1;
    while (taken(QStringLiteral("Sheet%1").arg(n)))
        ++n;
    // The name is chosen before the sheet joins the list.
    auto sheet = std::make_unique<XlsWorksheet>(this, QStringLiteral("Sheet%1").arg(n));
    return *m_sheets.emplace_back(std::move(sheet));
}

int XlsWorkbook::indexOf(const XlsWorksheet* sheet) const noexcept
{
    for (std::size_t i = 0; i < m_sheets.size(); ++i)
        if (m_sheets[i].get() == sheet)
            return static_cast<int>(i);
    return -1;
}

void XlsWorkbook::clear() noexcept
{
    m_sheets.clear();
}

} // namespace xls
