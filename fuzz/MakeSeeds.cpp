// Writes the seed inputs of the toolkit targets into fuzz/corpus/: small SFX packages and stream
// packs in the game's formats, made by the tests' own writer of those formats.
//   fuzz_seeds <folder of fuzz/corpus>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <string>

#include "GameAudioFiles.h"
#include "ToolkitInput.h"

using namespace GameAudioFiles;

namespace
{
std::string Bytes(const QByteArray &bytes)
{
    return bytes.toStdString();
}

bool Save(const QString &folder, const QString &name, const std::string &bytes)
{
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + name);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}

Sound MakeSound(int count, int rate, qint32 loop)
{
    Sound sound;
    sound.samples = Tone(count, 440.0, rate, 12000);
    sound.rate = quint16(rate);
    sound.loop = loop;
    return sound;
}
}

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <fuzz/corpus folder>\n");
        return 2;
    }
    const QString corpus = QString::fromLocal8Bit(argv[1]);
    bool bOk = true;

    // SFX: the package GENRL has index 1; one record of FEET (index 0) lies between its banks.
    const QString sfx = corpus + QStringLiteral("/fuzz_SfxPackage");
    {
        QList<LookupRecord> records;
        const QByteArray package = SfxPackage({{MakeSound(64, 22050, -1), MakeSound(0, 16000, -1)},
                                               {MakeSound(100, 11025, 10)}},
                                              1, records);
        records.insert(1, LookupRecord{0, 0, 16});
        bOk = Save(sfx, QStringLiteral("two_banks.bin"), ToolkitInput::Part(Bytes(Lookup(records, '\xCD'))) + Bytes(package)) && bOk;
    }
    {
        QList<LookupRecord> records;
        const QByteArray package = SfxPackage({{MakeSound(8, 8000, 3)}}, 1, records);
        bOk = Save(sfx, QStringLiteral("one_sound.bin"), ToolkitInput::Part(Bytes(Lookup(records, '\0'))) + Bytes(package)) && bOk;
    }

    // Stream: the pack CH has index 0; the lookup points at every track.
    const QString stream = corpus + QStringLiteral("/fuzz_StreamArchive");
    const std::string stations = "stream = CH\nstation = Tone Radio\nstream = RE\nstation = Other\n";
    {
        Track first;
        first.ogg = OggVorbis(0.05, 440.0, 1, 8000);
        first.beats = {{100, 1}, {200, 2}};
        Track second;
        second.ogg = OggVorbis(0.05, 660.0, 1, 8000);
        second.lengthIndex = 3;
        QList<quint32> offsets;
        const QByteArray pack = StreamPack({first, second}, &offsets);
        const QList<LookupRecord> records{{0, offsets[0], quint32(first.ogg.size())},
                                          {1, 0, 0},
                                          {0, offsets[1], quint32(second.ogg.size() + 8068)}};
        bOk = Save(stream, QStringLiteral("two_tracks.bin"), ToolkitInput::Part(Bytes(Lookup(records, '\0')))
                                                                 + ToolkitInput::Part(stations) + Bytes(pack)) && bOk;
    }
    {
        Track only;
        only.ogg = OggVorbis(0.02, 330.0, 1, 8000);
        const QByteArray pack = StreamPack({only});
        bOk = Save(stream, QStringLiteral("no_lookup.bin"), ToolkitInput::Part(std::string())
                                                                + ToolkitInput::Part(std::string()) + Bytes(pack)) && bOk;
    }
    if (!bOk)
        std::fprintf(stderr, "cannot write the seeds into %s\n", argv[1]);
    return bOk ? 0 : 1;
}
