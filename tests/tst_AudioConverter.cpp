#include "TestTones.h"
#include "audio/AudioConverter.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(AudioForm)

namespace
{
const int mp3 = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
const int opus = SF_FORMAT_OGG | SF_FORMAT_OPUS;
const int vorbis = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
const int wav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

bool Writable(int format, int rate, int channels)
{
    SF_INFO info {};
    info.format = format;
    info.samplerate = rate;
    info.channels = channels;
    return sf_format_check(&info);
}

// Every frame of a file as floats, and its header.
std::vector<float> ReadAll(const QString &path, SF_INFO &info)
{
    info = SF_INFO {};
    const std::unique_ptr<SNDFILE, int (*)(SNDFILE *)> file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info), &sf_close);
    std::vector<float> samples(file ? std::size_t(info.frames * info.channels) : 0);
    if (file)
        samples.resize(std::size_t(sf_readf_float(file.get(), samples.data(), info.frames) * info.channels));
    return samples;
}

double Rms(const std::vector<float> &samples, int channels, int channel)
{
    double sum = 0.0;
    for (std::size_t i = std::size_t(channel); i < samples.size(); i += std::size_t(channels))
        sum += double(samples[i]) * samples[i];
    return std::sqrt(sum / double(std::max<std::size_t>(1, samples.size() / std::size_t(channels))));
}
}

// Conversions into the archive's forms, with real files in every container libsndfile writes.
class TestAudioConverter : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        scratch = std::make_unique<QTemporaryDir>();
        QVERIFY(TestTones::WriteBytes(Target(), "old entry"));
    }

    void LandsInTheArchiveFormWithItsLengthAndLevel_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<AudioForm>("form");
        QTest::addColumn<int>("slack");            // frames the length may be off by (codec padding)
        QTest::addColumn<QList<double>>("levels"); // RMS of each output channel
        const AudioForm sound {false, 22050, 1};
        const AudioForm track {true, 44100, 2};
        // The tone's RMS: 0.5 / sqrt 2 on the first channel, half that on the second.
        const double left = 0.3536, right = 0.1768;
        QTest::newRow("stereo FLAC to a sound") << (SF_FORMAT_FLAC | SF_FORMAT_PCM_16) << 44100 << 2 << sound << 2 << QList<double>{(left + right) / 2};
        QTest::newRow("24-bit WAV at 48 kHz to a sound") << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 48000 << 1 << sound << 2 << QList<double>{left};
        QTest::newRow("float WAV at the sound's rate") << (SF_FORMAT_WAV | SF_FORMAT_FLOAT) << 22050 << 1 << sound << 0 << QList<double>{left};
        QTest::newRow("stereo 48 kHz Vorbis to a track") << vorbis << 48000 << 2 << track << 0 << QList<double>{left, right};
        QTest::newRow("mono WAV to a stereo track") << wav16 << 22050 << 1 << track << 2 << QList<double>{left, left};
        QTest::newRow("Opus named .ogg to a track") << opus << 48000 << 2 << track << 0 << QList<double>{left, right};
        QTest::newRow("MP3 to a track") << mp3 << 44100 << 2 << track << 2304 << QList<double>{left, right};
        QTest::newRow("stereo Vorbis to a mono track") << vorbis << 44100 << 2 << AudioForm {true, 32000, 1} << 0
                                                       << QList<double>{(left + right) / 2};
    }
    void LandsInTheArchiveFormWithItsLengthAndLevel()
    {
        QFETCH(int, format);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(AudioForm, form);
        QFETCH(int, slack);
        QFETCH(QList<double>, levels);
        if (!Writable(format, rate, channels))
            QSKIP("This libsndfile cannot write that format.");
        const QString source = scratch->filePath(format == opus ? "opus.ogg" : "source");
        QVERIFY(TestTones::Write(source, format, rate, rate, channels));  // one second
        QVERIFY(AudioConverter::UnreadableReason(source).isNull());
        QVERIFY(!AudioConverter::HasForm(source, form));

        std::atomic_bool bCancel {false};
        int lastPercent = -1;
        const AudioConverter::Result result = AudioConverter::Convert(source, Target(), form, bCancel, [&](int percent) { lastPercent = percent; });

        QCOMPARE(result.message, QString());
        QCOMPARE(int(result.outcome), int(AudioConverter::Outcome::Done));
        QCOMPARE(lastPercent, 100);
        QVERIFY(AudioConverter::HasForm(Target(), form));
        SF_INFO info;
        const std::vector<float> samples = ReadAll(Target(), info);
        QVERIFY2(std::abs(info.frames - form.sampleRate) <= slack, qPrintable(QString::number(info.frames)));
        for (int channel = 0; channel < levels.size(); ++channel)
            QVERIFY2(std::abs(Rms(samples, form.channels, channel) - levels[channel]) < 0.03 * levels[channel] + 0.002,
                     qPrintable(QString::number(Rms(samples, form.channels, channel))));
        QCOMPARE(QDir(scratch->path()).entryList(QDir::Files).size(), 2);  // nothing left beside it
    }

    void SixteenBitSamplesAtTheRightRateCrossUnchanged()
    {
        const QString source = scratch->filePath("mono.flac");
        QVERIFY(TestTones::Write(source, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, 22050, 1));
        std::atomic_bool bCancel {false};
        QCOMPARE(int(AudioConverter::Convert(source, Target(), {false, 22050, 1}, bCancel, {}).outcome), int(AudioConverter::Outcome::Done));
        SF_INFO in, out;
        QVERIFY(ReadAll(source, in) == ReadAll(Target(), out));  // no dither noise on samples that fit
    }

    void ContentNotNameDecidesTheForm_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("channels");
        QTest::addColumn<AudioForm>("form");
        QTest::addColumn<bool>("has");
        QTest::newRow("sound as it should be") << wav16 << 1 << AudioForm {false, 22050, 1} << true;
        QTest::newRow("sound at another rate") << wav16 << 1 << AudioForm {false, 44100, 1} << false;
        QTest::newRow("stereo sound") << wav16 << 2 << AudioForm {false, 22050, 1} << false;
        QTest::newRow("24-bit sound") << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 1 << AudioForm {false, 22050, 1} << false;
        QTest::newRow("Vorbis track") << vorbis << 2 << AudioForm {true, 22050, 2} << true;
        QTest::newRow("Vorbis with other channels") << vorbis << 1 << AudioForm {true, 22050, 2} << false;
        QTest::newRow("FLAC track") << (SF_FORMAT_FLAC | SF_FORMAT_PCM_16) << 2 << AudioForm {true, 22050, 2} << false;
    }
    void ContentNotNameDecidesTheForm()
    {
        QFETCH(int, format);
        QFETCH(int, channels);
        QFETCH(AudioForm, form);
        QFETCH(bool, has);
        const QString misnamed = scratch->filePath(form.bTrack ? "x.wav" : "x.ogg");
        QVERIFY(TestTones::Write(misnamed, format, 2205, 22050, channels));
        QCOMPARE(AudioConverter::HasForm(misnamed, form), has);
    }

    void RefusalAndAbortLeaveTheOldFile_data()
    {
        QTest::addColumn<QByteArray>("content");  // empty: a folder
        QTest::addColumn<bool>("bAbort");
        QTest::newRow("text named .wav") << QByteArray("RIFF? no, just text\n") << false;
        QTest::newRow("empty file") << QByteArray("") << false;
        QTest::newRow("folder") << QByteArray() << false;
        QTest::newRow("abort after the first block") << QByteArray("audio") << true;
    }
    void RefusalAndAbortLeaveTheOldFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, bAbort);
        const QString source = scratch->filePath("new.wav");
        if (bAbort)
            QVERIFY(TestTones::Write(source, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 441000, 44100, 2));
        else
            QVERIFY(content.isNull() ? QDir(scratch->path()).mkdir("new.wav") : TestTones::WriteBytes(source, content));
        QCOMPARE(AudioConverter::UnreadableReason(source).isNull(), bAbort);

        std::atomic_bool bCancel {false};
        const AudioConverter::Result result = AudioConverter::Convert(source, Target(), {true, 44100, 2}, bCancel, [&](int) { bCancel = true; });

        QCOMPARE(int(result.outcome), int(bAbort ? AudioConverter::Outcome::Aborted : AudioConverter::Outcome::Failed));
        QCOMPARE(QDir(scratch->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), (QStringList{"new.wav", "old.ogg"}));
        QFile old(Target());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old entry"));
    }

private:
    QString Target() const { return scratch->filePath("old.ogg"); }
    std::unique_ptr<QTemporaryDir> scratch;
};

QTEST_MAIN(TestAudioConverter)
#include "tst_AudioConverter.moc"
