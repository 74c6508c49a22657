#pragma once

#include <QStringList>
#include <QWidget>

class QCommandLinkButton;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace app {

// What the client area shows while no table is open: the two ways to a table (download a new
// one, open one from disk), the tables used last and the instrument's port. Every item is a
// button with a name and a description, so it is reached with Tab, pressed with Enter or
// Space and read by a screen reader. The page only asks; the window does the work.
class StartPage : public QWidget {
    Q_OBJECT

public:
    explicit StartPage(QWidget* parent = nullptr);

    // Shows these tables (most recent first) and this line about the port. A table whose
    // file is missing is shown greyed, and only its "remove" button works.
    void setRecentTables(const QStringList& paths);
    void setPortText(const QString& text);

    // The button of a recent table, and its "remove" button; null when not listed.
    QCommandLinkButton* recentButton(const QString& path) const;
    QPushButton* removeButton(const QString& path) const;

signals:
    void createRequested();
    void openRequested();
    void archiveRequested();
    void recentRequested(const QString& path);
    void removeRequested(const QString& path);
    void removeMissingRequested();
    void portRequested();

private:
    QWidget* m_recentBox = nullptr;
    QVBoxLayout* m_recentLayout = nullptr;
    QLabel* m_portLabel = nullptr;
};

// "name.db" over "folder · изменена 10.12.2026 10:15", or "файл не найден".
QString recentTableDescription(const QString& path);

} // namespace app
