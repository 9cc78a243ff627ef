#include "app/archive/EntryStates.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSaveFile>

#include <algorithm>
#include <string>
#include <vector>

#include "app/archive/KeptOriginals.h"
#include "app/archive/LoopStarts.h"
#include "format/EntryListing.h"
#include "format/FormatError.h"
#include "format/OggTrackFile.h"

struct EntryStates::Listing
{
    QString archive;        // absolute
    qint64 size = -1;
    qint64 modified = -1;   // milliseconds since the epoch
    std::vector<kivo::ListedEntry> entries;
};

const QString EntryStates::cacheFileName = QStringLiteral(".entry-listings");

namespace
{
constexpr qint64 readChunk = 1024 * 1024;

struct FileSum
{
    qint64 size = -1; // -1: no such file
    QString checksum; // empty when not taken
};

// The same checksum the tools take, over the unpacked file as it is now; taken only when the
// file's size is one a listing gives, since a file of another size differs anyway.
FileSum SumOf(const QString &path, const kivo::ListedEntry *pNow, const kivo::ListedEntry *pOriginal)
{
    QFile file(path);
    FileSum sum;
    if (!file.open(QIODevice::ReadOnly))
        return sum;
    const auto sized = [&file](const kivo::ListedEntry *pListed) { return pListed && pListed->size == quint64(file.size()); };
    if (!sized(pNow) && !sized(pOriginal)) {
        sum.size = file.size();
        return sum;
    }
    kivo::TrackChecksum checksum;
    QByteArray buffer(int(readChunk), Qt::Uninitialized);
    qint64 total = 0;
    for (qint64 got; (got = file.read(buffer.data(), readChunk)) > 0; total += got)
        checksum.Feed(reinterpret_cast<const unsigned char *>(buffer.constData()), std::size_t(got));
    if (file.error() != QFileDevice::NoError)
        return sum;
    sum.size = total;
    sum.checksum = QString::fromStdString(checksum.Text());
    return sum;
}

using ByName = QHash<QString, const kivo::ListedEntry *>;
ByName IndexByName(const std::vector<kivo::ListedEntry> &entries)
{
    ByName index;
    for (const kivo::ListedEntry &entry : entries)
        index.insert(QString::fromStdString(entry.name), &entry);
    return index;
}

bool Same(const FileSum &file, const kivo::ListedEntry *pListed)
{
    return pListed && file.size >= 0 && quint64(file.size) == pListed->size
        && file.checksum == QString::fromStdString(pListed->checksum);
}
}

// One block per archive: a line "<size>\t<modified>\t<entry count>\t<archive path>", then the
// entries as the tool lists them. The path comes last, so a tab in it reads back whole.
QByteArray EntryStates::CacheText(const QList<Listing> &listings)
{
    std::string text;
    for (const Listing &listing : listings) {
        text += std::to_string(listing.size) + '\t' + std::to_string(listing.modified) + '\t'
              + std::to_string(listing.entries.size()) + '\t' + listing.archive.toStdString() + '\n';
        for (const kivo::ListedEntry &entry : listing.entries)
            text += entry.Line();
    }
    return QByteArray::fromStdString(text);
}

QList<EntryStates::Listing> EntryStates::ReadCache(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = file.readAll().split('\n');
    QList<Listing> listings;
    try {
        for (int i = 0; i + 1 < lines.size();) {
            const QList<QByteArray> key = lines[i].split('\t');
            bool bSize = false, bModified = false, bCount = false;
            Listing listing;
            if (key.size() < 4)
                return {};
            listing.size = key[0].toLongLong(&bSize);
            listing.modified = key[1].toLongLong(&bModified);
            const int count = key[2].toInt(&bCount);
            listing.archive = QString::fromUtf8(lines[i].mid(key[0].size() + key[1].size() + key[2].size() + 3));
            if (!bSize || !bModified || !bCount || count < 0 || count > lines.size() - i - 2)
                return {};
            std::string entries;
            for (int e = 1; e <= count; ++e)
                entries += lines[i + e].toStdString() + '\n';
            listing.entries = kivo::ParseListing(entries);
            listings << listing;
            i += count + 1;
        }
    } catch (const kivo::FormatError &) {
        return {};
    }
    return listings;
}

EntryStates::State EntryStates::Entry::Kind() const
{
    return bNotSaved ? State::NotSaved : bChanged ? State::ChangedSaved : State::GameOwn;
}

int EntryStates::Result::ChangedCount() const
{
    return int(std::count_if(entries.begin(), entries.end(), [](const Entry &entry) { return entry.bChanged; }));
}

int EntryStates::Result::NotSavedCount() const
{
    return int(std::count_if(entries.begin(), entries.end(), [](const Entry &entry) { return entry.bNotSaved; }));
}

QByteArray EntryStates::RunToolkit(const QString &program, const QStringList &arguments)
{
    if (!QFile::exists(program))
        throw program + QStringLiteral(" could not be found.");
    QProcess process;
    // The tools lie in our current directory; a bare name would be looked up in PATH.
    process.start(QFileInfo(program).absoluteFilePath(), arguments);
    if (!process.waitForStarted())
        throw program + QStringLiteral(" could not be started.");
    process.closeWriteChannel();
    process.waitForFinished(-1);
    const QString message = QString::fromUtf8(process.readAllStandardError()).trimmed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw QStringLiteral("KIVO returned the following message:\n") + message;
    return process.readAllStandardOutput();
}

EntryStates::EntryStates(IniMetafileModel::ArchiveType type, const QString &archivePath, const QString &lookupPath,
                         ToolRunner runner)
    : type(type), archivePath(QFileInfo(archivePath).absoluteFilePath()),
      lookupPath(QFileInfo(lookupPath).absoluteFilePath()), runner(std::move(runner))
{
}

void EntryStates::AddListing(const QString &archive, const QString &lookup, const QList<Listing> &cached,
                             QList<Listing> &used, bool &bListedNow) const
{
    if (const Listing *pKnown = CachedListing(cached, archive)) {
        used << *pKnown;
        return;
    }
    const QFileInfo info(archive);
    Listing listing;
    listing.archive = archive;
    listing.size = info.size();
    listing.modified = info.lastModified().toMSecsSinceEpoch();
    const QStringList arguments = type == IniMetafileModel::SFX
                                ? QStringList{QStringLiteral("-l"), archive, lookup}
                                : QStringList{QStringLiteral("-l"), archive};
    const QByteArray output = runner(type == IniMetafileModel::SFX ? QStringLiteral("kivo_sfx.exe")
                                                                   : QStringLiteral("kivo_stream.exe"),
                                     arguments);
    try {
        listing.entries = kivo::ParseListing(output.toStdString());
    } catch (const kivo::FormatError &error) {
        throw QStringLiteral("The listing of ") + archive + QStringLiteral(" could not be read: ")
            + QString::fromStdString(error.what());
    }
    used << listing;
    bListedNow = true;
}

const EntryStates::Listing *EntryStates::CachedListing(const QList<Listing> &cached, const QString &archive)
{
    const QFileInfo info(archive);
    for (const Listing &listing : cached)
        if (listing.archive == archive && listing.size == info.size() && listing.modified == info.lastModified().toMSecsSinceEpoch())
            return &listing;
    return nullptr;
}

std::optional<bool> EntryStates::DiffersInCache(const QString &archiveFolder) const
{
    const QList<Listing> cached = ReadCache(archiveFolder + QLatin1Char('/') + cacheFileName);
    const Listing *pNow = CachedListing(cached, archivePath);
    const Listing *pOriginal = CachedListing(cached, KeptOriginals(type, archivePath, lookupPath).ArchivePath());
    if (!pNow || !pOriginal)
        return std::nullopt;
    const auto sameEntry = [](const kivo::ListedEntry &a, const kivo::ListedEntry &b) { return a.Line() == b.Line(); };
    return !std::equal(pNow->entries.begin(), pNow->entries.end(), pOriginal->entries.begin(), pOriginal->entries.end(), sameEntry);
}

bool EntryStates::IsOriginalKept() const
{
    return QFileInfo(KeptOriginals(type, archivePath, lookupPath).ArchivePath()).isFile();
}

void EntryStates::Extract(const QString &entry, const QString &outputFile, bool bKeptOriginal) const
{
    const KeptOriginals originals(type, archivePath, lookupPath);
    const QString archive = bKeptOriginal ? originals.ArchivePath() : archivePath;
    if (type == IniMetafileModel::SFX) {
        const QString keptLookup = originals.LookupFilePath();
        const QString lookup = bKeptOriginal && QFileInfo::exists(keptLookup) ? keptLookup : lookupPath;
        runner(QStringLiteral("kivo_sfx.exe"), {QStringLiteral("-x"), archive, entry, outputFile, lookup});
    } else {
        runner(QStringLiteral("kivo_stream.exe"), {QStringLiteral("-x"), archive, entry, outputFile});
    }
}

EntryStates::Result EntryStates::Compare(const QString &archiveFolder) const
{
    const KeptOriginals originals(type, archivePath, lookupPath);
    Result result;
    result.bOriginalKept = IsOriginalKept();
    const QString cachePath = archiveFolder + QLatin1Char('/') + cacheFileName;
    const QList<Listing> cached = ReadCache(cachePath);
    QList<Listing> used;
    bool bListedNow = false;
    AddListing(archivePath, lookupPath, cached, used, bListedNow);
    if (result.bOriginalKept) {
        // The save keeps the lookup file before the archive, so a kept archive has its lookup file.
        const QString keptLookup = originals.LookupFilePath();
        AddListing(originals.ArchivePath(), QFileInfo::exists(keptLookup) ? keptLookup : lookupPath, cached, used,
                   bListedNow);
    }
    if (bListedNow) {
        // Only a cache: a folder that cannot take it costs a listing next time, nothing more.
        QSaveFile cache(cachePath);
        if (cache.open(QIODevice::WriteOnly) && cache.write(CacheText(used)) >= 0)
            cache.commit();
    }

    const ByName now = IndexByName(used.constFirst().entries);
    const ByName original = IndexByName(used.constLast().entries);
    // A sound's loop start goes into the game with a save as its samples do; where the metafile
    // cannot be read, the files alone decide.
    const std::optional<QHash<QString, qint64>> loops =
        type == IniMetafileModel::SFX ? LoopStarts(archiveFolder + QStringLiteral("/sfx_import.ini")).ByEntry() : std::nullopt;
    for (const kivo::ListedEntry &listed : used.constFirst().entries) {
        Entry entry;
        entry.name = QString::fromStdString(listed.name);
        const kivo::ListedEntry *pNow = now.value(entry.name);
        const kivo::ListedEntry *pOriginal = original.value(entry.name);
        const FileSum file = SumOf(archiveFolder + QLatin1Char('/') + entry.name, pNow, pOriginal);
        const qint64 loop = loops ? loops->value(entry.name, LoopStarts::none) : LoopStarts::none;
        const auto sameLoop = [&](const kivo::ListedEntry *pListed) {
            return !loops || !pListed || !pListed->bSound || pListed->loop == loop;
        };
        entry.bNotSaved = !Same(file, pNow) || !sameLoop(pNow);
        entry.bChanged = !Same(file, pOriginal) || !sameLoop(pOriginal);
        entry.originalLoop = pOriginal && pOriginal->bSound ? pOriginal->loop : LoopStarts::none;
        result.entries << entry;
    }
    return result;
}
