#pragma once

#include <QWidget>

class QLineEdit;
class QListWidget;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;

namespace app {

struct HelpOutline;

// The program's help viewer: the help document on the right, its contents and its index on
// the left, as the contents-and-index window of a help system shows them.
class HelpWindow : public QWidget {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Reads the help document; false when it cannot be read (the window is left empty).
    bool load(const QString& path);

    // Scrolls the document to an anchor of it.
    void showTopic(const QString& anchor);

private:
    void fillContents(const HelpOutline& outline);
    void fillIndex(const HelpOutline& outline);
    void findInIndex(const QString& text);

    QTabWidget* m_tabs = nullptr;
    QTreeWidget* m_contents = nullptr;
    QLineEdit* m_indexFilter = nullptr;
    QListWidget* m_index = nullptr;
    QTextBrowser* m_browser = nullptr;
};

} // namespace app
