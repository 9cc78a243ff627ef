// Playing a sound of an archive that is not open, from the key to the first block the device
// takes: the entry copied out of a 100 MB SFX package with the real tool, then played, against the
// same entry played from its unpacked file.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "GameAudioFiles.h"
#include "app/archive/EntryPreview.h"
#include "app/archive/GameArchive.h"
#include "player/Player.h"
#include "tree/TreeModel.h"

using namespace GameAudioFiles;

namespace
{
using namespace std::chrono_literals;
constexpr qint64 megabyte = 1024 * 1024;
constexpr int runs = 9;
constexpr double goal = 2.0;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Milliseconds from `clock`'s start until the device took the first block.
double FirstBlock(const Player &player, const QElapsedTimer &clock)
{
    while (player.GetFramesOutput() == 0)
        std::this_thread::sleep_for(100us);
    return double(clock.nsecsElapsed()) / 1e6;
}

// Banks of 80 sounds of 8 to 80 KB, about what the game's own banks hold, up to 100 MB.
int WritePackage(const QString &game)
{
    QDir().mkpath(game + QStringLiteral("/audio/CONFIG"));
    QDir().mkpath(game + QStringLiteral("/audio/SFX"));
    QRandomGenerator random(17);
    QList<Bank> banks;
    for (qint64 total = 0; total < 100 * megabyte; total += 4804) {
        Bank bank;
        for (int s = 0; s < 80 && total < 100 * megabyte; ++s) {
            const int samples = random.bounded(4096, 40960);
            bank.append({Tone(samples, 200 + 10 * s, 22050, 12000), 22050, -1, -200});
            total += 2 * samples;
        }
        banks.append(bank);
    }
    QList<LookupRecord> records;
    WriteFile(game + QStringLiteral("/audio/SFX/BIG"), SfxPackage(banks, 0, records));
    WriteFile(game + QStringLiteral("/audio/CONFIG/BankLkup.dat"), Lookup(records, '\xCC'));
    WriteFile(game + QStringLiteral("/audio/CONFIG/PakFiles.dat"), NameTable({QStringLiteral("BIG")}, 52));
    return int(banks.size());
}
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    QApplication application(argc, argv);
    QTemporaryDir dir;
    const QString root = dir.path();
    const QString game = root + QStringLiteral("/game");
    const int banks = WritePackage(game);
    // The program runs the tools from its current directory.
    if (!QFile::link(QStringLiteral(KIVO_SFX_PATH), root + QStringLiteral("/kivo_sfx.exe")) || !QDir::setCurrent(root)) {
        std::printf("bench_Preview: the tool could not be put in place\n");
        return 1;
    }
    const TreeModel tree(QStringLiteral("SFX\n  BIG\taudio/SFX/BIG\tSFX\taudio/CONFIG/BankLkup.dat\n"), false);
    const GameArchive archive(tree.ArchiveIndexes().first(), game);
    const QString entry = QStringLiteral("Bank_%1/sound_040.wav").arg(banks / 2, 3, 10, QLatin1Char('0'));
    const QString unpacked = root + QStringLiteral("/unpacked.wav");
    try {
        archive.ExtractEntry(entry, unpacked, false);
        Player player;
        EntryPreview preview;
        std::vector<double> fromFile, fromArchive;
        // In turns, so that a busy machine slows both alike.
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer clock;
            clock.start();
            player.PlayFile(unpacked);
            fromFile.push_back(FirstBlock(player, clock));
            player.Stop();
            clock.restart();
            player.PlayFile(preview.Extract(archive, entry));
            fromArchive.push_back(FirstBlock(player, clock));
            player.Stop();
            preview.Forget();
        }
        const double floor = Median(fromFile), measured = Median(fromArchive), ratio = measured / floor;
        std::printf("bench_Preview: %s of a %.0f MB SFX package, to the first block (median of %d runs)\n",
                    qPrintable(entry), double(QFileInfo(archive.ArchivePath()).size()) / megabyte, runs);
        std::printf("  unpacked file:        %8.2f ms\n", floor);
        std::printf("  from the archive:     %8.2f ms  ratio %5.2f  (goal <= %.0f) %s\n", measured, ratio, goal,
                    ratio <= goal ? "met" : "NOT MET");
        return 0;
    } catch (const QString &message) {
        std::printf("bench_Preview: %s\n", qPrintable(message));
    } catch (...) {
        std::printf("bench_Preview: the player failed\n");
    }
    return 1;
}
