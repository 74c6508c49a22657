#pragma once

#include <QString>

namespace xls {

class XlsWorkbook;

// A writer of workbook files. The base writes nothing; each file format derives its own.
class WorkbookWriter {
public:
    WorkbookWriter() = default;
    WorkbookWriter(const WorkbookWriter&) = delete;
    WorkbookWriter& operator=(const WorkbookWriter&) = delete;
    virtual ~WorkbookWriter() = default;

    // Writes `workbook` to the file `fileName`. Throws XlsError on failure.
    virtual void Save(XlsWorkbook& workbook, const QString& fileName)
    {
        (void)workbook;
        (void)fileName;
    }
};

} // namespace xls
