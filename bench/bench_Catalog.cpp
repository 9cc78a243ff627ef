// One search pass over 100,000 described entries of the whole tree, as the search over all
// archives runs it on every key, against the floor of a bare QString::contains pass over the same
// texts (the archive's tree names, the entry's name and its description lines of each entry); and
// the search window itself while 10 characters are typed into it: the longest gap between the
// ticks of a 1 ms timer is the longest a key waits for the updated table.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/CatalogWindow.h"
#include "app/archive/OpenedArchive.h"
#include "catalog/DescriptionCatalog.h"
#include "player/FModPlayerWidget.h"
#include "tree/TreeModel.h"
#include "tree/XmlMetaData.h"

namespace
{
constexpr int entryCount = 100000;
constexpr int runs = 9;
constexpr double goal = 2.0;
constexpr double keyGoalMs = 50.0;

const char *const words[] = {"engine", "door", "metal", "gravel", "Explosion", "radio", "Voice", "car",
                             "heavy", "distant", "near", "loop", "glass", "water", "wind", "crowd"};

QString Configuration()
{
    QString text = QStringLiteral("SFX\n");
    for (const char *name : {"FEET", "GENRL", "PAIN_A", "SCRIPT", "SPC_EA", "SPC_FA", "SPC_GA", "SPC_NA", "SPC_PA"})
        text += QStringLiteral("  %1\taudio/SFX/%1\tSFX\taudio/CONFIG/BankLkup.dat\n").arg(QLatin1String(name));
    text += QStringLiteral("Streams\n");
    for (int stream = 0; stream < 16; ++stream)
        text += QStringLiteral("  ST%1\taudio/streams/ST%1\tSTREAM\taudio/CONFIG/TrakLkup.dat\n").arg(stream);
    return text;
}

// Entries spread over every archive, each with a text of three to five lines as real ones have.
XmlMetaData Descriptions(const QList<CatalogArchive> &archives)
{
    XmlMetaData data;
    for (int entry = 0; entry < entryCount; ++entry) {
        const CatalogArchive &archive = archives.at(entry % archives.size());
        const int number = entry / archives.size() + 1;
        const QString name = archive.treeNames.first() == QLatin1String("SFX")
                               ? QStringLiteral("Bank_%1\\sound_%2.wav").arg(number / 100 + 1, 3, 10, QLatin1Char('0')).arg(number % 100 + 1, 3, 10, QLatin1Char('0'))
                               : QStringLiteral("Track_%1.ogg").arg(number, 3, 10, QLatin1Char('0'));
        QStringList lines;
        for (int line = 0; line < 3 + entry % 3; ++line)
            lines << QStringLiteral("%1 %2 take %3").arg(QLatin1String(words[(entry * 7 + line * 3) % 16]),
                                                          QLatin1String(words[(entry / 3 + line) % 16]))
                                                     .arg(entry % 1000);
        const QString id = QString::number(entry);
        data.textsById.insert(id, lines.join(QLatin1Char(';')));
        data.idsByPath.insert(archive.pathPrefix + name, id);
    }
    return data;
}

// The longest gap between the ticks of a 1 ms timer while `typed` is typed into the search window,
// a key every 80 ms as a quick typist does.
double LongestGapWhileTyping(const DescriptionCatalog &catalog, const QString &typed)
{
    QTreeView entryView;
    FModPlayerWidget player;
    OpenedArchive opened;
    CatalogWindow window([&catalog] { return catalog; }, [] { return QString(); }, &entryView, &player, opened, nullptr);
    window.ShowCatalog();
    auto *field = window.findChild<QLineEdit *>(QStringLiteral("catalogQuery"));
    QElapsedTimer clock;
    double longest = 0, last = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
        const double now = double(clock.nsecsElapsed()) / 1e6;
        longest = std::max(longest, now - last);
        last = now;
    });
    QEventLoop loop;
    int next = 0;
    QTimer typist;
    typist.setInterval(80);
    QObject::connect(&typist, &QTimer::timeout, &typist, [&] {
        if (next == typed.size())
            return loop.quit();
        QTest::keyClick(field, typed.at(next++).toLatin1());
    });
    QTest::qWait(200);
    clock.start();
    ticker.start();
    typist.start();
    loop.exec();
    return longest;
}

double Milliseconds(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    QApplication application(argc, argv);
    const TreeModel tree(Configuration(), false);
    const QList<CatalogArchive> archives = CatalogArchivesOf(tree);
    const DescriptionCatalog catalog(archives, Descriptions(archives));
    if (catalog.Entries().size() != size_t(entryCount)) {
        std::printf("bench_Catalog: the catalog holds %zu entries instead of %d\n", catalog.Entries().size(), entryCount);
        return 1;
    }
    // The bare pass reads the same texts the search looks at, kept as the catalog keeps entries.
    std::vector<QString> texts;
    for (const CatalogEntry &entry : catalog.Entries())
        texts.push_back(archives.at(entry.archive).TreeName() + QLatin1Char('\n') + entry.entryName + QLatin1Char('\n')
                        + entry.description);

    std::printf("bench_Catalog: one search pass over %d described entries (best of %d runs)\n", entryCount, runs);
    int result = 0;
    for (const QString &query : {QStringLiteral("Explosion"), QStringLiteral("GLASS take 12"), QStringLiteral("no such sound")}) {
        const QStringList queryWords = query.split(QLatin1Char(' '));
        size_t bareHits = 0;
        size_t searchHits = 0;
        const auto bare = [&](Qt::CaseSensitivity sensitivity) {
            bareHits = 0;
            for (const QString &text : texts) {
                bareHits += std::all_of(queryWords.cbegin(), queryWords.cend(),
                                        [&](const QString &word) { return text.contains(word, sensitivity); });
            }
        };
        double exact = 1e300, folded = 1e300, search = 1e300;
        // Measured in turns, so that a busy machine slows them alike.
        for (int run = 0; run < runs; ++run) {
            exact = std::min(exact, Milliseconds([&] { bare(Qt::CaseSensitive); }));
            folded = std::min(folded, Milliseconds([&] { bare(Qt::CaseInsensitive); }));
            search = std::min(search, Milliseconds([&] { searchHits = catalog.Search(query).size(); }));
        }
        const double ratio = search / exact;
        std::printf("  \"%s\": %zu hits\n", qPrintable(query), searchHits);
        std::printf("    bare contains, exact case:        %8.2f ms\n", exact);
        std::printf("    bare contains, case-insensitive:  %8.2f ms\n", folded);
        std::printf("    search:                           %8.2f ms  ratio to exact case %5.2f  (goal <= %.0f) %s\n",
                    search, ratio, goal, ratio <= goal ? "met" : "NOT MET");
        if (searchHits != bareHits) {
            std::printf("bench_Catalog: the search found %zu entries, the bare pass %zu\n", searchHits, bareHits);
            result = 1;
        }
    }
    const QString typed = QStringLiteral("engine doo");
    const double gap = LongestGapWhileTyping(catalog, typed);
    std::printf("bench_Catalog: typing \"%s\" into the search window\n", qPrintable(typed));
    std::printf("    longest timer gap:                %8.2f ms  (goal <= %.0f ms) %s\n", gap, keyGoalMs,
                gap <= keyGoalMs ? "met" : "NOT MET");
    return result;
}
