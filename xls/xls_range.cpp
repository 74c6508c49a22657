#include "xls/xls_range.h"

namespace xls {

const XlsCellStyle& XlsCellStyle::defaultStyle()
{
    static const XlsCellStyle style;
    return style;
}

void XlsRange::setValue(const XlsValue& value)
{
    if (!value.isText()) {
        m_value = value;
        return;
    }
    // Cells break lines with LF alone; a lone CR is left as it is.
    QString text = value.toText();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_value = XlsValue::text(text);
}

XlsCellKind XlsRange::cellKind() const noexcept
{
    return m_value.isNumber() ? XlsCellKind::Number : XlsCellKind::Text;
}

} // namespace xls
