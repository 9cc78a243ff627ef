// demo_generator <game folder> <program folder> [kivo_sfx.exe] [kivo_stream.exe]
//
// Writes a small game folder (audio/CONFIG, audio/SFX, audio/streams) in the real formats and,
// into the program folder, the "configuration.ini", "metadata-full.ini" and "MetaData.xml" that
// describe it. Every sound is synthesised here (tones, sweeps, clicks, noise, short melodies),
// and the archives are made by the toolkit's own packing, so the demo shows what the tools write.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <sndfile.h>

namespace
{
constexpr double pi = 3.14159265358979323846;

struct SndFileCloser
{
    void operator()(SNDFILE *file) const { sf_close(file); }
};

struct DemoSound
{
    std::string description; // lines separated by ';', shown in the program's metadata list
    std::vector<double> samples;
    int rate = 22050;
    int headroom = -200;
    int loop = -1;           // first frame of the looped part; -1: plays once
};

struct DemoPackage
{
    std::string name;
    std::vector<std::vector<DemoSound>> banks;
};

struct DemoTrack
{
    std::string description;
    std::vector<double> interleaved; // stereo
    std::vector<std::pair<int, int>> beats;
};

struct DemoPack
{
    std::string name;
    std::string station;
    std::vector<DemoTrack> tracks;
};

[[noreturn]] void Fail(const std::string &message)
{
    throw std::runtime_error(message);
}

double Envelope(double t, double length, double attack = 0.01, double release = 0.08)
{
    const double in = std::min(1.0, t / attack);
    const double out = std::min(1.0, std::max(0.0, (length - t) / release));
    return in * out;
}

double NoteFrequency(int semitonesFromA4)
{
    return 440.0 * std::pow(2.0, semitonesFromA4 / 12.0);
}

DemoSound Tone(double frequency, double seconds, int rate)
{
    DemoSound sound{"Sine tone;" + std::to_string(int(frequency)) + " Hz;" + std::to_string(int(seconds * 1000)) + " ms", {}, rate};
    const int count = int(seconds * rate);
    for (int i = 0; i < count; ++i) {
        const double t = double(i) / rate;
        sound.samples.push_back(0.6 * Envelope(t, seconds) * std::sin(2 * pi * frequency * t));
    }
    return sound;
}

DemoSound Sweep(double from, double to, double seconds, int rate)
{
    DemoSound sound{"Sweep;" + std::to_string(int(from)) + " Hz to " + std::to_string(int(to)) + " Hz", {}, rate};
    const int count = int(seconds * rate);
    const double growth = std::log(to / from) / seconds;
    for (int i = 0; i < count; ++i) {
        const double t = double(i) / rate;
        const double phase = 2 * pi * from * (std::exp(growth * t) - 1) / growth;
        sound.samples.push_back(0.5 * Envelope(t, seconds) * std::sin(phase));
    }
    return sound;
}

DemoSound Clicks(int count, double interval, int rate)
{
    DemoSound sound{"Clicks;" + std::to_string(count) + " clicks;every " + std::to_string(int(interval * 1000)) + " ms", {}, rate};
    sound.samples.assign(size_t((count * interval + 0.05) * rate), 0.0);
    for (int c = 0; c < count; ++c)
        for (int i = 0; i < rate / 200; ++i)
            sound.samples[size_t(c * interval * rate) + i] = 0.8 * std::exp(-i * 400.0 / rate) * (i % 2 ? -1 : 1);
    return sound;
}

DemoSound Noise(double seconds, int rate, std::uint32_t seed, const std::string &what)
{
    DemoSound sound{"Noise burst;" + what, {}, rate};
    const int count = int(seconds * rate);
    double smooth = 0;
    for (int i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double white = (seed >> 8) / double(1u << 24) * 2 - 1;
        smooth += 0.3 * (white - smooth); // a gentle low-pass, like steps on gravel
        sound.samples.push_back(0.7 * std::exp(-6.0 * i / count) * smooth);
    }
    return sound;
}

DemoSound Melody(const std::vector<int> &notes, double noteSeconds, int rate, const std::string &name)
{
    DemoSound sound{"Melody;" + name + ";" + std::to_string(notes.size()) + " notes", {}, rate};
    for (const int note : notes) {
        const int count = int(noteSeconds * rate);
        for (int i = 0; i < count; ++i) {
            const double t = double(i) / rate;
            const double f = NoteFrequency(note);
            sound.samples.push_back(0.45 * Envelope(t, noteSeconds, 0.005, 0.05)
                                    * (std::sin(2 * pi * f * t) + 0.3 * std::sin(4 * pi * f * t)));
        }
    }
    return sound;
}

DemoSound Alarm(double low, double high, double seconds, int rate)
{
    DemoSound sound{"Two-tone alarm;" + std::to_string(int(low)) + " Hz and " + std::to_string(int(high)) + " Hz", {}, rate};
    const int count = int(seconds * rate);
    double phase = 0;
    for (int i = 0; i < count; ++i) {
        const double t = double(i) / rate;
        phase += 2 * pi * (std::fmod(t, 0.5) < 0.25 ? low : high) / rate;
        sound.samples.push_back(0.4 * Envelope(t, seconds) * (std::sin(phase) > 0 ? 1 : -1) * 0.6);
    }
    // The two tones repeat every half second, so from the second round on the sound can loop.
    sound.loop = rate / 2;
    return sound;
}

// A stereo piece: a melody on the left-leaning lead, a bass line in the middle.
DemoTrack Song(const std::string &title, const std::vector<int> &lead, const std::vector<int> &bass, double beatSeconds)
{
    const int rate = 32000;
    DemoTrack track{"Demo song;" + title + ";" + std::to_string(int(60 / beatSeconds)) + " beats per minute", {}, {}};
    const int perBeat = int(beatSeconds * rate);
    for (size_t b = 0; b < lead.size(); ++b) {
        const double leadFrequency = NoteFrequency(lead[b]);
        const double bassFrequency = NoteFrequency(bass[b % bass.size()] - 24);
        for (int i = 0; i < perBeat; ++i) {
            const double t = double(i) / rate;
            const double leadVoice = 0.3 * Envelope(t, beatSeconds, 0.01, 0.1) * std::sin(2 * pi * leadFrequency * t);
            const double bassVoice = 0.25 * Envelope(t, beatSeconds, 0.02, 0.05) * std::sin(2 * pi * bassFrequency * t);
            track.interleaved.push_back(0.8 * leadVoice + bassVoice);
            track.interleaved.push_back(0.4 * leadVoice + bassVoice);
        }
    }
    return track;
}

void WriteSound(const QString &path, int format, int channels, int rate, const std::vector<double> &interleaved)
{
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info));
    if (!file)
        Fail("cannot write " + path.toStdString() + ": " + sf_strerror(nullptr));
    const sf_count_t frames = sf_count_t(interleaved.size()) / channels;
    if (sf_writef_double(file.get(), interleaved.data(), frames) != frames)
        Fail("cannot write " + path.toStdString() + ": " + sf_strerror(file.get()));
}

void WriteText(const QString &path, const std::string &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), qint64(text.size())) != qint64(text.size()))
        Fail("cannot write " + path.toStdString() + ": " + file.errorString().toStdString());
}

std::string Padded(size_t number)
{
    std::string digits = std::to_string(number);
    return std::string(digits.size() < 3 ? 3 - digits.size() : 0, '0') + digits;
}

std::string Record(std::size_t size, const std::string &name)
{
    std::string record = name;
    record.push_back('\0');
    record.resize(size, '\0');
    return record;
}

std::string LookupRecords(unsigned archive, size_t count, char fill)
{
    std::string records;
    for (size_t i = 0; i < count; ++i) {
        records.push_back(char(archive));
        records.append(3, fill);
        records.append(8, '\0'); // offset and size: set by the toolkit when it packs
    }
    return records;
}

std::string XmlEscaped(const std::string &text)
{
    std::string escaped;
    for (const char c : text)
        escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '"' ? "&quot;" : std::string(1, c);
    return escaped;
}

void RunTool(const QString &program, const QStringList &arguments, const QString &workingDirectory)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    if (!process.waitForStarted())
        Fail("cannot start " + program.toStdString() + ": " + process.errorString().toStdString());
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        Fail(program.toStdString() + " failed: " + QString::fromLocal8Bit(process.readAllStandardError()).trimmed().toStdString());
}

void Replace(const QString &from, const QString &to)
{
    if (QFile::exists(to) && !QFile::remove(to))
        Fail("cannot replace " + to.toStdString());
    if (!QFile::rename(from, to))
        Fail("cannot move " + from.toStdString() + " to " + to.toStdString());
}

std::vector<DemoPackage> SfxPackages()
{
    return {
        {"FEET",
         {{Clicks(2, 0.35, 16000), Clicks(4, 0.15, 16000), Noise(0.3, 16000, 7, "soft step")},
          {Noise(0.25, 12000, 11, "gravel"), Noise(0.4, 12000, 23, "long scrape")}}},
        {"GENRL",
         {{Tone(220, 0.6, 22050), Tone(440, 0.5, 22050), Tone(880, 0.4, 22050), Tone(1760, 0.3, 22050)},
          {Sweep(200, 2000, 0.8, 22050), Sweep(3000, 300, 0.7, 22050), Sweep(100, 800, 1.2, 12000)},
          {Melody({0, 4, 7, 12}, 0.15, 22050, "major arpeggio"), Melody({12, 10, 7, 3, 0}, 0.12, 22050, "falling minor"),
           Melody({0, 0, 7, 7, 9, 9, 7}, 0.2, 16000, "nursery tune")}}},
        {"SPC_EA",
         {{Alarm(600, 900, 1.5, 22050), Alarm(400, 500, 1.0, 12000)},
          {Sweep(1000, 4000, 0.2, 44100), Clicks(8, 0.05, 8000), Tone(330, 1.0, 8000)}}},
    };
}

std::vector<DemoPack> StreamPacks()
{
    DemoPack first{"CH", "Tone Radio 101",
                   {Song("Morning scale", {0, 2, 4, 5, 7, 9, 11, 12, 12, 11, 9, 7, 5, 4, 2, 0}, {0, 0, 5, 7}, 0.3),
                    Song("Minor walk", {0, 3, 5, 7, 8, 7, 5, 3, 0, -2, 0, 3}, {0, 8, 3, 10}, 0.4),
                    Song("Quick hop", {7, 12, 7, 4, 7, 12, 16, 12, 7, 4, 0, 4, 7, 12}, {0, 7}, 0.22)}};
    DemoPack second{"RE", "Sweep FM",
                    {Song("Pentatonic loop", {0, 2, 4, 7, 9, 12, 9, 7, 4, 2, 0, 2, 4, 7, 9, 12}, {0, 5}, 0.25),
                     Song("Slow chords", {0, 4, 7, 4, 5, 9, 12, 9, 7, 11, 14, 11}, {0, 5, 7, 0}, 0.5)}};
    // A dance track keeps a beat table, as the minigame tracks do.
    for (int beat = 0; beat < 16; ++beat)
        second.tracks[0].beats.push_back({250 * beat, beat % 4 == 0 ? 3 : 4});
    return {first, second};
}

void MakeSfx(const std::vector<DemoPackage> &packages, const QString &game, const QString &staging, const QString &sfxTool)
{
    const QString config = game + "/audio/CONFIG";
    std::string pakFiles;
    std::string lookup;
    for (size_t p = 0; p < packages.size(); ++p) {
        std::string record = Record(52, packages[p].name);
        for (size_t i = packages[p].name.size() + 1; i < 12; ++i)
            record[i] = '\xCD'; // the fill the game's own table has
        pakFiles += record;
        lookup += LookupRecords(unsigned(p), packages[p].banks.size(), '\xCC');
    }
    WriteText(config + "/PakFiles.dat", pakFiles);
    WriteText(config + "/BankLkup.dat", lookup);

    for (size_t p = 0; p < packages.size(); ++p) {
        const DemoPackage &package = packages[p];
        const QString folder = staging + "/" + QString::fromStdString(package.name);
        std::string ini = "[Archive]\nbasename=" + package.name + "\nlookup_index=" + std::to_string(p)
                        + "\nnum_banks=" + std::to_string(package.banks.size()) + "\n";
        for (size_t b = 0; b < package.banks.size(); ++b) {
            const std::string section = "Bank_" + Padded(b + 1);
            QDir().mkpath(folder + "/" + QString::fromStdString(section));
            ini += "\n[" + section + "]\nnum_sounds=" + std::to_string(package.banks[b].size()) + "\n";
            for (size_t s = 0; s < package.banks[b].size(); ++s) {
                const DemoSound &sound = package.banks[b][s];
                const std::string key = "sound_" + Padded(s + 1);
                const std::string fileName = section + "/" + key + ".wav";
                WriteSound(folder + "/" + QString::fromStdString(fileName), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, sound.rate,
                           sound.samples);
                ini += key + ".filename=" + fileName + "\n" + key + ".sample_rate=" + std::to_string(sound.rate) + "\n" + key
                     + ".unknown_16=" + std::to_string(sound.headroom) + "\n" + key + ".loop_offset=" + std::to_string(sound.loop)
                     + "\n";
            }
        }
        WriteText(folder + "/sfx_import.ini", ini);
        const QString archive = game + "/audio/SFX/" + QString::fromStdString(package.name);
        RunTool(sfxTool, {"-i", archive + ".new", folder + "/sfx_import.ini", config + "/BankLkup.dat"}, folder);
        Replace(archive + ".new", archive);
    }
    QFile::remove(config + "/BankLkup.dat.bak");
}

void MakeStreams(const std::vector<DemoPack> &packs, const QString &game, const QString &staging, const QString &streamTool)
{
    const QString config = game + "/audio/CONFIG";
    std::string strmPaks;
    std::string lookup;
    for (size_t p = 0; p < packs.size(); ++p) {
        strmPaks += Record(16, packs[p].name);
        lookup += LookupRecords(unsigned(p), packs[p].tracks.size(), '\xCD');
    }
    WriteText(config + "/StrmPaks.dat", strmPaks);
    WriteText(config + "/TrakLkup.dat", lookup);

    for (size_t p = 0; p < packs.size(); ++p) {
        const DemoPack &pack = packs[p];
        const QString folder = staging + "/" + QString::fromStdString(pack.name);
        QDir().mkpath(folder);
        std::string ini = "[Stream]\nbasename=" + pack.name + "\nlookup_index=" + std::to_string(p)
                        + "\nnum_tracks=" + std::to_string(pack.tracks.size()) + "\n";
        for (size_t t = 0; t < pack.tracks.size(); ++t) {
            const DemoTrack &track = pack.tracks[t];
            const std::string section = "Track_" + Padded(t + 1);
            WriteSound(folder + "/" + QString::fromStdString(section) + ".ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 2, 32000,
                       track.interleaved);
            ini += "\n[" + section + "]\nfilename=" + section + ".ogg\nbeat_total=" + std::to_string(track.beats.size())
                 + "\nlength_index=" + (track.beats.empty() ? "0" : "1") + "\nlength_extra=" + (track.beats.empty() ? "48000" : "0")
                 + "\nlookup_size=" + (track.beats.empty() ? "ogg" : "ogg+header") + "\n";
            for (size_t b = 0; b < track.beats.size(); ++b)
                ini += "beat_" + Padded(b + 1) + "=" + std::to_string(track.beats[b].first) + ","
                     + std::to_string(track.beats[b].second) + "\n";
        }
        WriteText(folder + "/stream_import.ini", ini);
        const QString archive = game + "/audio/streams/" + QString::fromStdString(pack.name);
        RunTool(streamTool, {"-i", archive + ".new", folder + "/stream_import.ini", config + "/TrakLkup.dat"}, folder);
        Replace(archive + ".new", archive);
    }
    QFile::remove(config + "/TrakLkup.dat.bak");
}

void PutU32(std::string &bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (8 * i));
}

// BankSlot.dat as the game keeps it: 45 sound buffer slots. Each demo bank has slots that just
// hold it, rounded up as the game's own sizes are, so that a sound made longer in the demo has
// slots to grow.
void MakeBankSlots(const QString &game)
{
    const QString config = game + "/audio/CONFIG";
    QFile lookupFile(config + "/BankLkup.dat");
    if (!lookupFile.open(QIODevice::ReadOnly))
        Fail("cannot read " + lookupFile.fileName().toStdString() + ": " + lookupFile.errorString().toStdString());
    const QByteArray lookup = lookupFile.readAll();
    std::vector<uint32_t> bankSizes;
    for (qsizetype at = 0; at + 12 <= lookup.size(); at += 12)
        bankSizes.push_back(qFromLittleEndian<quint32>(lookup.constData() + at + 8));
    if (bankSizes.empty())
        Fail("BankLkup.dat holds no banks");

    const size_t slotCount = 45;
    const size_t recordSize = 4820;
    std::string table(2 + slotCount * recordSize, '\0');
    table[0] = char(slotCount);
    uint32_t offset = 0;
    for (size_t slot = 0; slot < slotCount; ++slot) {
        const size_t at = 2 + slot * recordSize;
        const uint32_t size = (bankSizes[slot % bankSizes.size()] + 4095) / 4096 * 4096;
        PutU32(table, at, offset);
        PutU32(table, at + 4, size);
        PutU32(table, at + 8, 0xFFFFFFFFu);  // unused
        PutU32(table, at + 12, 0xFFFFFFFFu); // unused
        PutU32(table, at + 16, 0xFFFFFFFFu); // no bank loaded, no sound count
        offset += size;
    }
    WriteText(config + "/BankSlot.dat", table);
}

void WriteProgramFiles(const std::vector<DemoPackage> &packages, const std::vector<DemoPack> &packs, const QString &programFolder)
{
    std::string configuration = "SFX\n";
    for (const DemoPackage &package : packages)
        configuration += "  " + package.name + "\taudio/SFX/" + package.name + "\tSFX\taudio/CONFIG/BankLkup.dat\n";
    configuration += "Streams\n";
    for (const DemoPack &pack : packs)
        configuration += "  " + pack.name + "\taudio/streams/" + pack.name + "\tSTREAM\taudio/CONFIG/TrakLkup.dat\n";
    WriteText(programFolder + "/configuration.ini", configuration);

    std::string stations = "Station names of the demo's stream archives.\n";
    for (const DemoPack &pack : packs)
        stations += "stream = " + pack.name + "\nstation = " + pack.station + "\n";
    WriteText(programFolder + "/metadata-full.ini", stations);

    // Entries are addressed by the names the tree shows: station names while they are in use,
    // archive names otherwise, so the streams' entries are listed both ways.
    std::string infos;
    std::string entries;
    int id = 0;
    const auto describe = [&](const std::string &pathInTree, const std::string &description) {
        ++id;
        infos += "  <InfoData Id=\"" + std::to_string(id) + "\" Text=\"" + XmlEscaped(description) + "\"/>\n";
        entries += "  <MetaData VirtualPath=\"" + XmlEscaped("Archiv\\" + pathInTree) + "\" InfoDataItemId=\"" + std::to_string(id) + "\"/>\n";
    };
    for (const DemoPackage &package : packages)
        for (size_t b = 0; b < package.banks.size(); ++b)
            for (size_t s = 0; s < package.banks[b].size(); ++s)
                describe("SFX\\" + package.name + "\\Bank_" + Padded(b + 1) + "\\sound_" + Padded(s + 1) + ".wav",
                         package.banks[b][s].description + ";" + std::to_string(package.banks[b][s].rate) + " Hz mono");
    for (const DemoPack &pack : packs)
        for (size_t t = 0; t < pack.tracks.size(); ++t)
            for (const std::string &shown : {pack.station, pack.name})
                describe("Streams\\" + shown + "\\Track_" + Padded(t + 1) + ".ogg",
                         pack.tracks[t].description + ";on " + pack.station);
    WriteText(programFolder + "/MetaData.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<RozivOzeMetaData>\n" + infos + entries + "</RozivOzeMetaData>\n");
}
}

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3 || arguments.size() > 5) {
        std::fprintf(stderr, "usage: demo_generator <game folder> <program folder> [kivo_sfx.exe] [kivo_stream.exe]\n");
        return 2;
    }
    const QString game = QDir(arguments[1]).absolutePath();
    const QString programFolder = QDir(arguments[2]).absolutePath();
    const QString sfxTool = arguments.size() > 3 ? arguments[3] : QStringLiteral(KIVO_SFX_PATH);
    const QString streamTool = arguments.size() > 4 ? arguments[4] : QStringLiteral(KIVO_STREAM_PATH);
    try {
        if (QDir(game).exists() && !QDir(game).isEmpty())
            Fail(game.toStdString() + " is not empty; the demo is only written into a new folder");
        for (const char *folder : {"audio/CONFIG", "audio/SFX", "audio/streams"})
            if (!QDir().mkpath(game + "/" + folder))
                Fail("cannot create " + game.toStdString() + "/" + folder);
        if (!QDir().mkpath(programFolder))
            Fail("cannot create " + programFolder.toStdString());
        QTemporaryDir staging;
        if (!staging.isValid())
            Fail("cannot create a temporary folder");
        const std::vector<DemoPackage> packages = SfxPackages();
        const std::vector<DemoPack> packs = StreamPacks();
        MakeSfx(packages, game, staging.path(), sfxTool);
        MakeBankSlots(game);
        MakeStreams(packs, game, staging.path(), streamTool);
        WriteProgramFiles(packages, packs, programFolder);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "demo_generator: %s\n", error.what());
        return 1;
    }
    std::printf("demo game folder written to %s\n", qPrintable(game));
    return 0;
}
