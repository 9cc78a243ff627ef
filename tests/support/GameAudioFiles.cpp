#include "GameAudioFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QtEndian>

#include <cmath>
#include <memory>

#include <sndfile.h>

namespace GameAudioFiles
{
namespace
{
const unsigned char streamKey[16] = {0xEA, 0x3A, 0xC4, 0xA1, 0x9A, 0xA8, 0x14, 0xF3,
                                     0x48, 0xB0, 0xD7, 0x23, 0x9D, 0xE8, 0xFF, 0xF1};

struct SndFileCloser
{
    void operator()(SNDFILE *file) const { sf_close(file); }
};

template <typename T> void Append(QByteArray &bytes, T value)
{
    const T little = qToLittleEndian(value);
    bytes.append(reinterpret_cast<const char *>(&little), sizeof little);
}

// The decoded 8,068-byte header of a track.
QByteArray TrackHeader(const Track &track)
{
    QByteArray header;
    for (int i = 0; i < 1000; ++i) {
        Append<qint32>(header, i < track.beats.size() ? track.beats[i].first : -1);
        Append<qint32>(header, i < track.beats.size() ? track.beats[i].second : 0);
    }
    QByteArray lengthSlots(64, '\xCD');
    QByteArray used;
    Append<quint32>(used, quint32(track.ogg.size()));
    Append<quint32>(used, track.extra);
    return header + lengthSlots.replace(track.lengthIndex * 8, 8, used) + QByteArray("\x01\x00\xCD\xCD", 4);
}
}

QByteArray NameTable(const QStringList &names, int recordSize)
{
    QByteArray bytes;
    for (const QString &name : names) {
        QByteArray record = name.toLatin1();
        record.append('\0');
        if (recordSize == 52 && record.size() < 12)
            record.append(QByteArray(12 - record.size(), '\xCD'));
        record.append(QByteArray(recordSize - record.size(), '\0'));
        bytes.append(record);
    }
    return bytes;
}

QByteArray Lookup(const QList<LookupRecord> &records, char fill)
{
    QByteArray bytes;
    for (const LookupRecord &record : records) {
        bytes.append(char(record.archive));
        bytes.append(QByteArray(3, fill));
        Append<quint32>(bytes, record.offset);
        Append<quint32>(bytes, record.size);
    }
    return bytes;
}

QByteArray SfxPackage(const QList<Bank> &banks, quint8 archive, QList<LookupRecord> &records)
{
    QByteArray package;
    for (const Bank &bank : banks) {
        QByteArray header;
        QByteArray pcm;
        Append<quint16>(header, quint16(bank.size()));
        Append<quint16>(header, 0);
        for (const Sound &sound : bank) {
            Append<quint32>(header, quint32(pcm.size()));
            Append<qint32>(header, sound.loop);
            Append<quint16>(header, sound.rate);
            Append<qint16>(header, sound.headroom);
            for (const qint16 sample : sound.samples)
                Append<qint16>(pcm, sample);
        }
        header.append(QByteArray(4804 - header.size(), '\0'));
        records.append({archive, quint32(package.size()), quint32(pcm.size())});
        package.append(header).append(pcm);
    }
    return package;
}

QByteArray StreamPack(const QList<Track> &tracks, QList<quint32> *trackOffsets)
{
    QByteArray plain;
    for (const Track &track : tracks) {
        if (trackOffsets)
            trackOffsets->append(quint32(plain.size()));
        plain.append(TrackHeader(track)).append(track.ogg);
    }
    return Xor(plain, 0);
}

QByteArray Xor(QByteArray bytes, qint64 position)
{
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = char(bytes[i] ^ streamKey[(position + i) % 16]);
    return bytes;
}

void PutU32(QByteArray &bytes, qsizetype at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

QVector<qint16> Tone(int count, double frequency, int rate, int amplitude)
{
    QVector<qint16> samples(count);
    for (int i = 0; i < count; ++i)
        samples[i] = qint16(std::lround(amplitude * std::sin(2 * M_PI * frequency * i / rate)));
    return samples;
}

QByteArray OggVorbis(double seconds, double frequency, int channels, int rate)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("track.ogg"));
    QVector<qint16> interleaved;
    for (int f = 0; f < int(seconds * rate); ++f)
        for (int c = 0; c < channels; ++c)
            interleaved << qint16(std::lround(13000 * std::sin(2 * M_PI * frequency * (c + 1) * f / rate)));
    return WriteSoundFile(path, SF_FORMAT_OGG | SF_FORMAT_VORBIS, channels, rate, interleaved) ? ReadFile(path) : QByteArray();
}

bool WriteSoundFile(const QString &path, int format, int channels, int rate, const QVector<qint16> &interleaved)
{
    QVector<int> fullScale;
    for (const qint16 sample : interleaved)
        fullScale << int(sample) * 65536;
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format;
    std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info));
    if (!file)
        return false;
    // Without this, float files would get the integers unscaled.
    sf_command(file.get(), SFC_SET_SCALE_INT_FLOAT_WRITE, nullptr, SF_TRUE);
    const sf_count_t frames = fullScale.size() / channels;
    return sf_writef_int(file.get(), fullScale.constData(), frames) == frames;
}

Wav ReadWav(const QString &path)
{
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!file)
        return {};
    Wav wav{false, info.format, info.channels, info.samplerate, QVector<qint16>(qsizetype(info.frames * info.channels))};
    wav.ok = sf_read_short(file.get(), wav.samples.data(), wav.samples.size()) == wav.samples.size();
    return wav;
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList FilesBelow(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

QMap<QString, QByteArray> Snapshot(const QString &folder)
{
    QMap<QString, QByteArray> files;
    for (const QString &file : FilesBelow(folder))
        files[file] = ReadFile(folder + QLatin1Char('/') + file);
    return files;
}

ToolRun Run(const QString &program, const QStringList &arguments, const QString &workingDirectory,
            const QProcessEnvironment &environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    ToolRun run;
    if (!process.waitForStarted() || !process.waitForFinished(120000)) {
        run.errorText = QStringLiteral("the tool did not run: ") + process.errorString();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.errorText = QString::fromLocal8Bit(process.readAllStandardError());
    run.output = process.readAllStandardOutput();
    return run;
}

bool FailedWith(const ToolRun &run, const QString &message, int exitCode)
{
    return run.exitCode == exitCode && run.errorText.count(QLatin1Char('\n')) == 1
        && run.errorText.endsWith(QLatin1Char('\n')) && run.errorText.contains(message);
}
}
