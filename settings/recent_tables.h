#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

namespace settings {

// The tables the user opened or created last, most recent first, kept in the program's
// settings (value "Recent_tables"). Paths are stored whole, as the system writes them; the
// list says nothing about whether a file is still there: whoever shows it looks.
class RecentTables {
public:
    static constexpr int kLimit = 8;

    // Works on the given settings, which must already be inside the program's group.
    explicit RecentTables(QSettings& settings);

    QStringList paths() const;
    // Puts the table first; the same table further down goes, and so does the ninth.
    void add(const QString& path);
    void remove(const QString& path);
    void clear();

    // Whether two names are the same table here (Windows ignores case in names).
    static bool sameTable(const QString& a, const QString& b);

private:
    void store(const QStringList& paths);

    QSettings& m_settings;
};

} // namespace settings
