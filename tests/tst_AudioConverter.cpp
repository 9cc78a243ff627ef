#include "TestTones.h"
#include "audio/AudioConverter.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(AudioForm)

namespace
{
const int opus = SF_FORMAT_OGG | SF_FORMAT_OPUS;
const int vorbis = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
const int flac16 = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;

// Every sample of a file, and its header.
std::vector<float> ReadAll(const QString &path, SF_INFO &info)
{
    info = SF_INFO {};
    const std::unique_ptr<SNDFILE, int (*)(SNDFILE *)> file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info), &sf_close);
    std::vector<float> samples(std::size_t(info.frames * info.channels));
    return file && sf_readf_float(file.get(), samples.data(), info.frames) == info.frames ? samples : std::vector<float>();
}
}

// Conversions into the archive's forms, from real files in the containers libsndfile writes.
class TestAudioConverter : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        scratch = std::make_unique<QTemporaryDir>();
        QVERIFY(TestTones::WriteBytes(Target(), "old entry"));
    }

    void LandsInTheFormWithItsLengthAndLevel_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<AudioForm>("input");      // its rate and channels
        QTest::addColumn<AudioForm>("form");
        QTest::addColumn<int>("slack");            // frames the length may be off by (codec padding)
        QTest::addColumn<QList<double>>("levels"); // RMS of each output channel; none: the very samples of the input
        const AudioForm sound {false, 22050, 1};
        const AudioForm track {true, 44100, 2};
        const double left = 0.5 / M_SQRT2, right = left / 2, mixed = (left + right) / 2;
        QTest::newRow("stereo FLAC to a sound") << flac16 << AudioForm {false, 44100, 2} << sound << 2 << QList<double>{mixed};
        QTest::newRow("24-bit WAV at 48 kHz to a sound") << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << AudioForm {false, 48000, 1} << sound << 2 << QList<double>{left};
        QTest::newRow("float WAV at the sound's rate") << (SF_FORMAT_WAV | SF_FORMAT_FLOAT) << AudioForm {false, 22050, 1} << sound << 0 << QList<double>{left};
        QTest::newRow("stereo 48 kHz Vorbis to a track") << vorbis << AudioForm {false, 48000, 2} << track << 0 << QList<double>{left, right};
        QTest::newRow("mono WAV to a stereo track") << (SF_FORMAT_WAV | SF_FORMAT_PCM_16) << AudioForm {false, 22050, 1} << track << 2 << QList<double>{left, left};
        QTest::newRow("Opus named .ogg to a track") << opus << AudioForm {false, 48000, 2} << track << 0 << QList<double>{left, right};
        QTest::newRow("MP3 to a track") << (SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III) << AudioForm {false, 44100, 2} << track << 2304 << QList<double>{left, right};
        QTest::newRow("16-bit mono FLAC at the sound's rate") << flac16 << AudioForm {false, 22050, 1} << sound << 0 << QList<double>{};
        QTest::newRow("stereo Vorbis to a mono track") << vorbis << AudioForm {false, 44100, 2} << AudioForm {true, 32000, 1} << 0 << QList<double>{mixed};
    }
    void LandsInTheFormWithItsLengthAndLevel()
    {
        QFETCH(int, format);
        QFETCH(AudioForm, input);
        QFETCH(AudioForm, form);
        QFETCH(int, slack);
        QFETCH(QList<double>, levels);
        SF_INFO wanted {0, input.sampleRate, input.channels, format, 0, 0};
        if (!sf_format_check(&wanted))
            QSKIP("This libsndfile cannot write that format.");
        const QString source = scratch->filePath(format == opus ? "opus.ogg" : "source");
        QVERIFY(TestTones::Write(source, format, input.sampleRate, input.sampleRate, input.channels));  // one second
        QVERIFY(AudioConverter::UnreadableReason(source).isNull() && !AudioConverter::HasForm(source, form));
        std::atomic_bool bCancel {false};
        int lastPercent = -1;  // the last progress reported
        const auto result = AudioConverter::Convert(source, Target(), form, bCancel, [&](int percent) { lastPercent = percent; });
        QCOMPARE(std::make_pair(result.message, lastPercent), std::make_pair(QString(), 100));
        SF_INFO info, in;
        const std::vector<float> samples = ReadAll(Target(), info);
        QCOMPARE(info.format, form.bTrack ? vorbis : SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        QCOMPARE(std::make_pair(info.samplerate, info.channels), std::make_pair(form.sampleRate, form.channels));
        QVERIFY2(std::abs(info.frames - form.sampleRate) <= slack, qPrintable(QString::number(info.frames)));
        for (int channel = 0; channel < levels.size(); ++channel) {
            double sum = 0.0;
            for (std::size_t i = std::size_t(channel); i < samples.size(); i += std::size_t(form.channels))
                sum += double(samples[i]) * samples[i];
            const double level = std::sqrt(sum / double(info.frames));
            QVERIFY2(std::abs(level - levels[channel]) < 0.03 * levels[channel], qPrintable(QString::number(level)));
        }
        if (levels.isEmpty())
            QVERIFY(ReadAll(source, in) == samples);  // no dither noise on samples that fit
        QCOMPARE(QDir(scratch->path()).entryList(QDir::Files).size(), 2);  // nothing left beside it
    }

    void RefusalAndAbortLeaveTheOldFile_data()
    {
        QTest::addColumn<QByteArray>("content");  // null: a folder; "flac": ten seconds of audio, aborted
        QTest::newRow("text named .wav") << QByteArray("RIFF? no, just text\n");
        QTest::newRow("folder") << QByteArray();
        QTest::newRow("abort after the first block") << QByteArray("flac");
    }
    void RefusalAndAbortLeaveTheOldFile()
    {
        QFETCH(QByteArray, content);
        const bool bAbort = content == "flac";
        const QString source = scratch->filePath("new.wav");
        QVERIFY(bAbort ? TestTones::Write(source, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 441000, 44100, 2)
                       : content.isNull() ? QDir(scratch->path()).mkdir("new.wav") : TestTones::WriteBytes(source, content));
        QCOMPARE(AudioConverter::UnreadableReason(source).isNull(), bAbort);
        std::atomic_bool bCancel {false};
        const auto result = AudioConverter::Convert(source, Target(), {true, 44100, 2}, bCancel, [&](int) { bCancel = true; });
        QCOMPARE(int(result.outcome), int(bAbort ? AudioConverter::Outcome::Aborted : AudioConverter::Outcome::Failed));
        QCOMPARE(QDir(scratch->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), (QStringList{"new.wav", "old.ogg"}));
        QFile old(Target());
        QVERIFY(old.open(QIODevice::ReadOnly) && old.readAll() == "old entry");
    }

private:
    QString Target() const { return scratch->filePath("old.ogg"); }
    std::unique_ptr<QTemporaryDir> scratch;
};

QTEST_MAIN(TestAudioConverter)
#include "tst_AudioConverter.moc"
