#pragma once
#include <QList>
#include <QMap>
#include <QPair>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <QVector>

// Writes the game's audio files byte by byte from the format's description, independently of
// the toolkit, so tests compare the tools against a second writer; and runs the tools.
namespace GameAudioFiles
{
struct Sound
{
    QVector<qint16> samples;
    quint16 rate = 22050;
    qint32 loop = -1;
    qint16 headroom = 0;
};
using Bank = QList<Sound>;

struct LookupRecord
{
    quint8 archive = 0;
    quint32 offset = 0;
    quint32 size = 0;
};

struct Track
{
    QByteArray ogg;
    QList<QPair<qint32, qint32>> beats; // {time in ms, control}
    int lengthIndex = 0;
    quint32 extra = 48000;
};

// PakFiles.dat (recordSize 52, stock fill) or StrmPaks.dat (16); an empty name is an empty slot.
QByteArray NameTable(const QStringList &names, int recordSize);
// BankLkup.dat / TrakLkup.dat with the given padding fill.
QByteArray Lookup(const QList<LookupRecord> &records, char fill);
// Banks back to back in the stock layout; appends one record per bank.
QByteArray SfxPackage(const QList<Bank> &banks, quint8 archive, QList<LookupRecord> &records);
// Tracks back to back, XOR-encoded; trackOffsets receives each header's position.
QByteArray StreamPack(const QList<Track> &tracks, QList<quint32> *trackOffsets = nullptr);
QByteArray Xor(QByteArray bytes, qint64 position);
void PutU32(QByteArray &bytes, qsizetype at, quint32 value);

QVector<qint16> Tone(int count, double frequency, int rate, int amplitude);
// A short Ogg Vorbis file made with libsndfile.
QByteArray OggVorbis(double seconds, double frequency, int channels = 2, int rate = 32000);
// Writes interleaved 16-bit samples with libsndfile in the given format; they are handed over as
// full-scale 32-bit integers, which every format stores without rounding when it can hold them.
bool WriteSoundFile(const QString &path, int format, int channels, int rate, const QVector<qint16> &interleaved);
struct Wav
{
    bool ok = false;
    int format = 0;
    int channels = 0;
    int rate = 0;
    QVector<qint16> samples;
};
Wav ReadWav(const QString &path);

bool WriteFile(const QString &path, const QByteArray &bytes);
QByteArray ReadFile(const QString &path);
// Every file below folder, as paths relative to it; Snapshot adds their contents.
QStringList FilesBelow(const QString &folder);
QMap<QString, QByteArray> Snapshot(const QString &folder);

struct ToolRun
{
    int exitCode = -1;
    QString errorText;
    QByteArray output; // standard output
};
ToolRun Run(const QString &program, const QStringList &arguments, const QString &workingDirectory = QString(),
            const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
// Whether the tool stopped with exitCode and said one line that holds message.
bool FailedWith(const ToolRun &run, const QString &message, int exitCode = 1);
}
