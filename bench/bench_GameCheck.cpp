// The whole check of a game folder of the real game's size (nine SFX packages with 61,993 sounds in
// 710 banks, sixteen stream packs with 1,922 tracks; short sounds and tracks keep it small), as the
// window runs it (archive by archive, each with its lookup file and what lies beside), timed
// against its floor measured in the same run: reading once each header the check reads (the lookup
// files and name tables, BankSlot.dat, every bank header, every track header and the Ogg data up to
// the end of its Vorbis headers), with nothing else done.
// Goal: the check at most 2 times that floor. Median of several rounds, the files in the page cache.
// Beside it, what the check cannot skip beyond those reads: turning each track's bytes it reads
// back from the pack's cipher, and the checksum of every Ogg page of the Vorbis headers, so a
// reader can tell how far above its floor the check really is.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <ogg/ogg.h>
#include <unistd.h>

#include "GameAudioFiles.h"
#include "app/archive/GameAudioCheck.h"
#include "app/archive/OperationFeedback.h"
#include "format/StreamCipher.h"
#include "tree/TreeModel.h"

using namespace GameAudioFiles;

namespace
{
constexpr double goal = 2.0;
constexpr int rounds = 9;
constexpr int banksPerPackage[] = {7, 137, 3, 218, 46, 18, 209, 52, 20};
constexpr int sounds = 61993;
constexpr int trackCount = 1922;
constexpr int packCount = 16;

struct Game
{
    QString audio;
    QString configuration; // the archive tree that names every archive
    std::vector<std::filesystem::path> packages, packs;
    QList<LookupRecord> bankRecords, trackRecords;
    qint64 vorbisHeaderBytes = 0; // of each track's Ogg data, up to the end of its Vorbis headers
    QByteArray vorbisHeaderPages; // those bytes of a track, as its Ogg data holds them
};

bool WriteGame(Game &game)
{
    const QString config = game.audio + "/CONFIG", sfx = game.audio + "/SFX", streams = game.audio + "/streams";
    if (!QDir().mkpath(config) || !QDir().mkpath(sfx) || !QDir().mkpath(streams))
        return false;
    QStringList packageNames, packNames;
    QList<LookupRecord> allBanks, allTracks;
    const Sound sound{Tone(16, 440, 22050, 8000)};
    int soundsLeft = sounds, banksLeft = 710;
    for (int p = 0; p < 9; ++p) {
        QList<Bank> banks;
        for (int b = 0; b < banksPerPackage[p]; ++b, --banksLeft) {
            const int count = std::min(400, soundsLeft / banksLeft);
            banks.append(Bank(count, sound));
            soundsLeft -= count;
        }
        QList<LookupRecord> records;
        packageNames << QStringLiteral("PKG%1").arg(p);
        game.configuration += QStringLiteral("  %1\taudio/SFX/%1\tSFX\taudio/CONFIG/BankLkup.dat\n").arg(packageNames.back());
        if (!WriteFile(sfx + "/" + packageNames.back(), SfxPackage(banks, quint8(p), records)))
            return false;
        game.packages.push_back((sfx + "/" + packageNames.back()).toStdString());
        allBanks += records;
    }
    // Slots large enough for every bank, as the game's are.
    QByteArray table(2 + 45 * 4820, '\0');
    table[0] = char(45);
    for (int slot = 0; slot < 45; ++slot)
        PutU32(table, 2 + slot * 4820 + 4, 400 * 32);

    QString streamLines;
    Track track;
    track.ogg = OggVorbis(0.05, 440);
    // Page 1 holds the identification header; the page that ends the setup header is the second
    // or a later one: the check reads up to there.
    qint64 at = 0;
    for (int page = 0; page < 2 && at + 27 <= track.ogg.size(); ++page) {
        const int segments = quint8(track.ogg[int(at) + 26]);
        qint64 body = 0;
        for (int s = 0; s < segments; ++s)
            body += quint8(track.ogg[int(at + 27 + s)]);
        at += 27 + segments + body;
    }
    game.vorbisHeaderBytes = at;
    game.vorbisHeaderPages = track.ogg.left(int(at));
    for (int p = 0; p < packCount; ++p) {
        const int count = trackCount / packCount + (p < trackCount % packCount ? 1 : 0);
        QList<quint32> offsets;
        packNames << QStringLiteral("PACK%1").arg(p);
        streamLines += QStringLiteral("  %1\taudio/streams/%1\tSTREAM\taudio/CONFIG/TrakLkup.dat\n").arg(packNames.back());
        if (!WriteFile(streams + "/" + packNames.back(), StreamPack(QList<Track>(count, track), &offsets)))
            return false;
        game.packs.push_back((streams + "/" + packNames.back()).toStdString());
        for (const quint32 offset : offsets)
            allTracks.append({quint8(p), offset, quint32(track.ogg.size())});
    }
    game.configuration = "SFX\n" + game.configuration + "Streams\n" + streamLines;
    game.bankRecords = allBanks;
    game.trackRecords = allTracks;
    return WriteFile(config + "/PakFiles.dat", NameTable(packageNames, 52)) && WriteFile(config + "/BankLkup.dat", Lookup(allBanks, char(0xCC)))
        && WriteFile(config + "/BankSlot.dat", table) && WriteFile(config + "/StrmPaks.dat", NameTable(packNames, 16))
        && WriteFile(config + "/TrakLkup.dat", Lookup(allTracks, char(0xCD)));
}

// Reads size bytes at offset of the file, as the check does, and nothing more.
void ReadAt(int descriptor, qint64 offset, char *buffer, qint64 size)
{
    if (::pread(descriptor, buffer, size_t(size), offset) != size)
        std::fprintf(stderr, "a bare read came short\n");
}

void ReadWhole(const QString &path, std::vector<char> &buffer)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    const qint64 size = QFileInfo(path).size();
    buffer.resize(size_t(std::max<qint64>(size, 1)));
    ReadAt(descriptor, 0, buffer.data(), size);
    ::close(descriptor);
}

void BareReads(const Game &game)
{
    std::vector<char> buffer(64 * 1024);
    for (const char *table : {"PakFiles.dat", "BankLkup.dat", "BankSlot.dat", "StrmPaks.dat", "TrakLkup.dat"})
        ReadWhole(game.audio + "/CONFIG/" + table, buffer);
    buffer.resize(64 * 1024);
    const auto each = [&](const std::vector<std::filesystem::path> &files, const QList<LookupRecord> &records, qint64 bytes) {
        std::vector<int> descriptors;
        for (const std::filesystem::path &file : files)
            descriptors.push_back(::open(file.c_str(), O_RDONLY));
        for (const LookupRecord &record : records)
            ReadAt(descriptors[record.archive], record.offset, buffer.data(), bytes);
        for (const int descriptor : descriptors)
            ::close(descriptor);
    };
    each(game.packages, game.bankRecords, 4804);
    each(game.packs, game.trackRecords, 8068 + game.vorbisHeaderBytes);
}

// What no check of the tracks can skip beyond reading them: undoing the pack's cipher over the
// track header and the Vorbis header pages, and each page's checksum, the only sign of a damaged
// page whose headers still parse. Taken with the toolkit's and the Ogg library's own code, over
// every track's bytes in memory.
void DecodingAndChecksums(const Game &game)
{
    QByteArray pages = game.vorbisHeaderPages;
    auto *bytes = reinterpret_cast<unsigned char *>(pages.data());
    std::vector<unsigned char> trackStart(size_t(8068 + pages.size()));
    for (int track = 0; track < trackCount; ++track) {
        kivo::XorAtPosition(trackStart.data(), trackStart.size(), game.trackRecords[track].offset);
        for (qint64 at = 0; at + 27 <= pages.size();) {
            ogg_page page{bytes + at, 27 + bytes[at + 26], nullptr, 0};
            for (int s = 0; s < bytes[at + 26]; ++s)
                page.body_len += bytes[at + 27 + s];
            page.body = page.header + page.header_len;
            ogg_page_checksum_set(&page);
            at += page.header_len + page.body_len;
        }
    }
}

// Goes on at every step, as a user who waits for the check.
struct Waiting : OperationFeedback
{
    AudioConverter::Result Convert(const QString &, const QString &, const AudioForm &) override { return {}; }
    void Inform(const QString &, const QString &) override {}
    void Fail(const QString &) override {}
};

// The check as the window runs it: every archive of the tree, against an empty working directory.
bool CheckGame(const QList<GameArchive> &archives, const QString &workingDirectory)
{
    Waiting feedback;
    const std::optional<QList<GameAudioCheck::Row>> rows = GameAudioCheck::Run(feedback, archives, workingDirectory);
    bool bClean = rows && rows->size() == 25;
    for (const GameAudioCheck::Row &row : rows.value_or(QList<GameAudioCheck::Row>())) {
        for (const QString &finding : row.findings)
            std::fprintf(stderr, "unexpected finding in %s: %s\n", qPrintable(row.archive.Name()), qPrintable(finding));
        bClean = bClean && row.state == GameAudioCheck::State::Ok;
    }
    return bClean;
}

double Median(const std::function<void()> &work)
{
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e9);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}
}

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTemporaryDir root;
    Game game{root.path() + "/audio", {}, {}, {}, {}, {}, 0};
    const QString work = root.path() + "/work";
    if (!root.isValid() || !WriteGame(game) || !QDir().mkpath(work)) {
        std::fprintf(stderr, "the game folder could not be made\n");
        return 1;
    }
    const TreeModel tree(game.configuration, false);
    const QList<GameArchive> archives = GameArchive::AllOf(tree, root.path());
    if (!CheckGame(archives, work)) {
        std::fprintf(stderr, "the check found something in the sound game folder\n");
        return 1;
    }
    BareReads(game); // into the page cache
    const double floor = Median([&] { BareReads(game); });
    const double unskippable = Median([&] { DecodingAndChecksums(game); });
    const double check = Median([&] { CheckGame(archives, work); });
    const double ratio = check / floor;
    std::printf("game check: 710 banks, %d sounds, %d tracks: bare reads %.4f s, check %.4f s, ratio %.2f (goal <= %.1f) %s\n",
                sounds, trackCount, floor, check, ratio, goal, ratio <= goal ? "met" : "NOT MET");
    std::printf("  of which cannot be skipped: undoing the packs' cipher and the Ogg page checksums of the Vorbis headers %.4f s "
                "(%.2f x the bare reads); check against bare reads, cipher and checksums: ratio %.2f\n",
                unskippable, unskippable / floor, check / (floor + unskippable));
    return ratio <= goal ? 0 : 1;
}
