#include "catalog/DescriptionCatalog.h"

#include <QStringView>

#include <algorithm>
#include <climits>
#include <tuple>
#include <utility>

#include "catalog/ArchivePrefixIndex.h"
#include "catalog/DescriptionText.h"
#include "tree/XmlMetaData.h"

namespace
{
// A separator no query word holds (words are split at white space), so no word can match across
// the end of one text and the start of the next.
const QChar textSeparator = QLatin1Char('\n');

// The number after `prefix` at the start of `text`, up to `end` or the text's end; -1 when there
// is none.
int NumberAfter(QStringView text, QStringView prefix, QChar end)
{
    if (!text.startsWith(prefix, Qt::CaseInsensitive))
        return -1;
    QStringView digits = text.sliced(prefix.size());
    const qsizetype stop = digits.indexOf(end);
    if (stop >= 0)
        digits = digits.first(stop);
    bool bOk = false;
    const int number = digits.toInt(&bOk);
    return bOk && number >= 0 && !digits.startsWith(u'+') ? number : -1;
}

// Bank and sound number of "Bank_001/sound_002.wav" (a bank alone gives sound 0), track number
// and 0 for "Track_003.ogg"; INT_MAX twice for any other name.
std::pair<int, int> EntryNumbers(QStringView name)
{
    const qsizetype slash = name.indexOf(u'/');
    if (slash < 0) {
        const int bank = NumberAfter(name, u"Bank_", QLatin1Char('.'));
        if (bank >= 0)
            return {bank, 0};
        const int track = NumberAfter(name, u"Track_", QLatin1Char('.'));
        if (track >= 0)
            return {track, 0};
    } else {
        const int bank = NumberAfter(name.first(slash), u"Bank_", QLatin1Char('/'));
        const int sound = NumberAfter(name.sliced(slash + 1), u"sound_", QLatin1Char('.'));
        if (bank >= 0 && sound >= 0)
            return {bank, sound};
    }
    return {INT_MAX, INT_MAX};
}

struct SortedEntry
{
    CatalogEntry entry;
    std::pair<int, int> numbers;
    QString foldedText;
};
}

DescriptionCatalog::DescriptionCatalog(const QList<CatalogArchive> &archives, const XmlMetaData &descriptions)
    : archives(archives)
{
    const ArchivePrefixIndex index(archives);
    std::vector<SortedEntry> found;
    for (auto path = descriptions.idsByPath.constBegin(); path != descriptions.idsByPath.constEnd(); ++path) {
        const QStringList lines = DescriptionLines(descriptions.textsById.value(path.value()));
        if (lines.isEmpty())
            continue;
        SortedEntry sorted;
        sorted.entry.virtualPath = path.key();
        sorted.entry.archive = index.ArchiveOf(path.key(), &sorted.entry.entryName);
        if (sorted.entry.archive < 0)
            continue;
        sorted.entry.description = lines.join(QStringLiteral(" \u00B7 "));
        sorted.numbers = EntryNumbers(sorted.entry.entryName);
        const CatalogArchive &archive = archives.at(sorted.entry.archive);
        sorted.foldedText = (archive.treeNames.join(textSeparator) + textSeparator + sorted.entry.entryName
                             + textSeparator + lines.join(textSeparator)).toCaseFolded();
        found.push_back(std::move(sorted));
    }
    std::sort(found.begin(), found.end(), [](const SortedEntry &first, const SortedEntry &second) {
        return std::tie(first.entry.archive, first.numbers, first.entry.entryName)
             < std::tie(second.entry.archive, second.numbers, second.entry.entryName);
    });
    entries.reserve(found.size());
    foldedTexts.reserve(found.size());
    for (SortedEntry &sorted : found) {
        entries.push_back(std::move(sorted.entry));
        foldedTexts.push_back(std::move(sorted.foldedText));
    }
}

std::vector<int> DescriptionCatalog::Search(const QString &query, const std::vector<int> *pWithin) const
{
    std::vector<int> hits;
    const QStringList words = query.simplified().toCaseFolded().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return hits;
    const auto test = [&](int position) {
        const QString &text = foldedTexts[size_t(position)];
        if (std::all_of(words.cbegin(), words.cend(), [&text](const QString &word) { return text.contains(word); }))
            hits.push_back(position);
    };
    if (pWithin) {
        std::for_each(pWithin->cbegin(), pWithin->cend(), test);
        return hits;
    }
    for (size_t position = 0; position < foldedTexts.size(); ++position)
        test(int(position));
    return hits;
}
