#include "settings/recent_tables.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace settings {
namespace {

const QString kKey = QStringLiteral("Recent_tables");

QString whole(const QString& path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

} // namespace

RecentTables::RecentTables(QSettings& settings)
    : m_settings(settings)
{
}

bool RecentTables::sameTable(const QString& a, const QString& b)
{
#ifdef Q_OS_WIN
    constexpr Qt::CaseSensitivity kCase = Qt::CaseInsensitive;
#else
    constexpr Qt::CaseSensitivity kCase = Qt::CaseSensitive;
#endif
    return whole(a).compare(whole(b), kCase) == 0;
}

QStringList RecentTables::paths() const
{
    // A hand-edited or older list may hold blanks, repeats or more than the limit.
    QStringList result;
    for (const QString& path : m_settings.value(kKey).toStringList()) {
        if (path.trimmed().isEmpty() || result.size() == kLimit)
            continue;
        const bool known = std::any_of(result.cbegin(), result.cend(),
                                       [&path](const QString& p) { return sameTable(p, path); });
        if (!known)
            result << path;
    }
    return result;
}

void RecentTables::add(const QString& path)
{
    if (path.isEmpty())
        return;
    QStringList list = paths();
    list.removeIf([&path](const QString& p) { return sameTable(p, path); });
    list.prepend(whole(path));
    while (list.size() > kLimit)
        list.removeLast();
    store(list);
}

void RecentTables::remove(const QString& path)
{
    QStringList list = paths();
    list.removeIf([&path](const QString& p) { return sameTable(p, path); });
    store(list);
}

void RecentTables::clear()
{
    store({});
}

void RecentTables::store(const QStringList& paths)
{
    if (paths.isEmpty())
        m_settings.remove(kKey);
    else
        m_settings.setValue(kKey, paths);
    m_settings.sync();
}

} // namespace settings
