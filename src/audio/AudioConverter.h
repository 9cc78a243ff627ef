#pragma once
#include <QString>

#include <atomic>
#include <functional>

// The form an archive keeps its audio in: a sound is a mono 16-bit PCM WAV, a track an Ogg
// Vorbis file; both at the entry's own rate and, for a track, its own channel count.
struct AudioForm
{
    bool bTrack = false;
    int sampleRate = 0;
    int channels = 1;
    // 0: all of the source. Else a longer source is cut after this many frames, fading out over
    // its last 10 ms so that the cut does not click.
    qint64 maxFrames = 0;
    // Empty: the level stays as it is. Else the game's original of the entry, whose loudness a
    // converted replacement is brought to (see LoudnessMeter::MatchingGain).
    QString loudnessReference;
};

// Brings any audio libsndfile reads into an archive's form. Plain functions: no dialogs, safe to
// call on a worker thread.
namespace AudioConverter
{
enum class Outcome
{
    Done,
    Aborted,  // the cancel flag was seen; the target is as it was
    Failed    // `message` says why; the target is as it was
};

struct Result
{
    Outcome outcome = Outcome::Failed;
    QString message;
    double gainDb = 0.0;  // what matching the reference's loudness applied; negative: quieter
};

// A null string when libsndfile reads the file as audio, otherwise its reason.
QString UnreadableReason(const QString &path);

// The rate and channel count of an audio file (`bTrack` left false); rate and channels 0 when it
// is not readable audio.
AudioForm FormOf(const QString &path);

// The length of an audio file in seconds; 0 when it is not readable audio or does not say.
double Seconds(const QString &path);
// The length of an audio file in frames; 0 as for Seconds().
qint64 Frames(const QString &path);

// True when the file's content, whatever its name, already is audio of exactly that form.
bool HasForm(const QString &path, const AudioForm &form);

// Writes `source`, converted to `form`, beside `target` and then puts it in the target's place.
// `progress` gets percentages from the calling thread; `bCancel` is polled between blocks. With a
// loudness reference the source is first measured as it will be written; a reference that is not
// readable audio leaves the level as it is.
Result Convert(const QString &source, const QString &target, const AudioForm &form, const std::atomic_bool &bCancel,
               const std::function<void(int)> &progress);
}
