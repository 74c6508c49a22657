#include "app/help_outline.h"

#include <QCollator>
#include <QLocale>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace app {
namespace {

QString blockAnchor(const QTextBlock& block)
{
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QStringList names = it.fragment().charFormat().anchorNames();
        if (!names.isEmpty())
            return names.first();
    }
    return {};
}

} // namespace

HelpOutline readHelpOutline(const QTextDocument& document)
{
    HelpOutline outline;
    bool inIndex = false;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level > 0) {
            const QString anchor = blockAnchor(block);
            outline.contents.push_back({level, block.text().simplified(), anchor});
            inIndex = anchor == kHelpIndexAnchor;
            continue;
        }
        if (!inIndex)
            continue;
        // A link whose text changes format inside (a bold word) comes in several fragments;
        // consecutive fragments of one link make one entry.
        QString previousHref;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            const QString href = format.isAnchor() ? format.anchorHref() : QString();
            if (!href.startsWith(QLatin1Char('#'))) {
                previousHref.clear();
                continue;
            }
            if (href == previousHref)
                outline.index.back().term += it.fragment().text();
            else
                outline.index.push_back({it.fragment().text(), href.mid(1)});
            previousHref = href;
        }
    }
    for (HelpIndexEntry& entry : outline.index)
        entry.term = entry.term.simplified();

    QCollator collator{QLocale(QLocale::Russian, QLocale::Russia)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(outline.index.begin(), outline.index.end(),
                     [&](const HelpIndexEntry& a, const HelpIndexEntry& b) {
                         return collator.compare(a.term, b.term) < 0;
                     });
    return outline;
}

std::vector<QString> documentAnchors(const QTextDocument& document)
{
    std::vector<QString> anchors;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            for (const QString& name : it.fragment().charFormat().anchorNames())
                anchors.push_back(name);
    return anchors;
}

} // namespace app
