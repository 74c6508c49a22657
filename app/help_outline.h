#pragma once

#include <QString>

#include <vector>

class QTextDocument;

namespace app {

// A heading of the help document, for the contents list.
struct HelpTopic {
    int level = 1;  // 1 for <h1>, 2 for <h2>, …
    QString title;
    QString anchor; // the heading's id; empty when it has none
};

// An entry of the index: a term and the place in the document it leads to.
struct HelpIndexEntry {
    QString term;
    QString anchor;
};

struct HelpOutline {
    std::vector<HelpTopic> contents;     // in document order
    std::vector<HelpIndexEntry> index;   // sorted alphabetically, Russian order
};

// The anchor of the section whose links make up the index.
inline const QString kHelpIndexAnchor = QStringLiteral("index");

// Reads the contents (every heading) and the index (every link in the section whose heading
// has the id "index") from a help document. The help stays plain HTML that any browser shows.
HelpOutline readHelpOutline(const QTextDocument& document);

// Every anchor a link inside the document can lead to.
std::vector<QString> documentAnchors(const QTextDocument& document);

} // namespace app
