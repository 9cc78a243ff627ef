#include "app/archive/LoopStarts.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringConverter>

#include <limits>
#include <vector>

#include "metafile/IniFile.h"

namespace
{
QString SectionName(int bank)
{
    return QStringLiteral("Bank_%1").arg(bank, 3, 10, QLatin1Char('0'));
}

QString SoundPrefix(int sound)
{
    return QStringLiteral("sound_%1.").arg(sound, 3, 10, QLatin1Char('0'));
}

const QString loopKey = QStringLiteral("loop_offset");

// A line of the file as bytes, without its "\n".
struct Line
{
    qsizetype start = 0;
    qsizetype end = 0;
};

// Where the lines that decide a sound's loop start lie: the reader takes the last line of a key,
// and a bank's section is every line after its header (those before the first header belong to it).
struct Found
{
    qsizetype loopLine = -1;     // the key's line that the reader takes; -1: none
    qsizetype lastSoundLine = -1;
    bool bFileName = false;      // the sound is there at all
};

// The line as the reader sees it: every "\r" dropped. Most lines have none and are not copied.
QByteArray Stripped(const QByteArray &bytes, const Line &line)
{
    const QByteArrayView view(bytes.constData() + line.start, line.end - line.start);
    if (!view.contains('\r'))
        return QByteArray::fromRawData(view.data(), view.size());
    return view.toByteArray().replace('\r', QByteArray());
}

// Null when the file now holds `bytes`, else why not; the old file stays whole until then.
QString WriteWhole(const QString &path, const QByteArray &bytes)
{
    QSaveFile saved(path);
    if (!saved.open(QIODevice::WriteOnly) || saved.write(bytes) != bytes.size() || !saved.commit())
        return saved.errorString();
    return QString();
}

std::vector<Line> SplitLines(const QByteArray &bytes)
{
    std::vector<Line> lines;
    // A byte order mark is no part of the first line for the reader.
    qsizetype start = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        lines.push_back({start, end});
        start = end + 1;
    }
    return lines;
}

bool IsHeader(const QByteArray &text)
{
    return text.startsWith('[') && text.endsWith(']');
}

Found Find(const QByteArray &bytes, const std::vector<Line> &lines, const QByteArray &header, const QString &prefix)
{
    QByteArray firstHeader;
    for (const Line &line : lines) {
        const QByteArray text = Stripped(bytes, line);
        if (IsHeader(text)) {
            firstHeader = text;
            break;
        }
    }
    Found found;
    const QByteArray prefixBytes = prefix.toLatin1();
    bool bInSection = firstHeader == header;
    for (qsizetype i = 0; i < qsizetype(lines.size()); ++i) {
        const QByteArray text = Stripped(bytes, lines[std::size_t(i)]);
        if (IsHeader(text)) {
            bInSection = text == header;
            continue;
        }
        // Only a line that holds the sound's prefix can be one of its keys; the others need no decoding.
        if (!bInSection || !text.contains(prefixBytes))
            continue;
        const QString decoded = QString::fromUtf8(text);
        const qsizetype separator = decoded.indexOf(u'=');
        if (separator < 0)
            continue;
        const QString key = decoded.first(separator).trimmed();
        if (!key.startsWith(prefix))
            continue;
        found.lastSoundLine = i;
        if (key.mid(prefix.size()) == loopKey)
            found.loopLine = i;
        else if (key.mid(prefix.size()) == u"filename")
            found.bFileName = true;
    }
    return found;
}
}

LoopStarts::LoopStarts(const QString &metafilePath) : path(metafilePath)
{
}

std::optional<qint64> LoopStarts::Get(int bank, int sound) const
{
    IniFile metafile;
    if (!metafile.Load(path))
        return std::nullopt;
    const QString value = metafile.GetValue(SectionName(bank), SoundPrefix(sound) + loopKey);
    if (value.isEmpty())
        return none;
    bool bNumber = false;
    const qint64 frame = value.toLongLong(&bNumber);
    return bNumber ? std::optional<qint64>(frame) : std::nullopt;
}

std::optional<QHash<QString, qint64>> LoopStarts::ByEntry() const
{
    IniFile file;
    if (!file.Load(path))
        return std::nullopt;
    static const QRegularExpression loopName(QStringLiteral("^(sound_\\d+)\\.loop_offset$"));
    QHash<QString, qint64> loops;
    for (const QString &section : file.SectionNames()) {
        if (!section.startsWith(QStringLiteral("Bank_")))
            continue;
        // The reader takes a key's last line, so a later one wins here too.
        for (const IniFile::Entry &entry : *file.FindSection(section)) {
            const QRegularExpressionMatch match = loopName.match(entry.key);
            bool bNumber = false;
            const qint64 frame = entry.value.trimmed().toLongLong(&bNumber);
            if (match.hasMatch())
                loops.insert(section + QLatin1Char('/') + match.captured(1) + QStringLiteral(".wav"), bNumber ? frame : none);
        }
    }
    return loops;
}

QString LoopStarts::Set(int bank, int sound, qint64 frame) const
{
    if (frame < none || frame > std::numeric_limits<qint32>::max())
        return QStringLiteral("The loop start %1 cannot be stored.").arg(frame);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Failed to read ") + path + QStringLiteral(": ") + file.errorString();
    QByteArray bytes = file.readAll();
    file.close();
    const QByteArray unchanged = bytes;
    const auto encoding = QStringConverter::encodingForData(bytes);
    if (encoding && *encoding != QStringConverter::Utf8)
        return path + QStringLiteral(" is not UTF-8 text; its loop starts cannot be written.");
    const std::vector<Line> lines = SplitLines(bytes);
    const QString prefix = SoundPrefix(sound);
    const Found found = Find(bytes, lines, ('[' + SectionName(bank) + ']').toLatin1(), prefix);
    if (!found.bFileName)
        return path + QStringLiteral(" lists no sound %1 in bank %2.").arg(sound).arg(bank);

    const QByteArray value = QByteArray::number(frame);
    if (found.loopLine >= 0) {
        // The key as it was written stays; only what follows "=" changes.
        const Line &line = lines[std::size_t(found.loopLine)];
        const qsizetype valueStart = bytes.indexOf('=', line.start) + 1;
        const qsizetype valueEnd = bytes.at(line.end - 1) == '\r' ? line.end - 1 : line.end;
        bytes.replace(valueStart, valueEnd - valueStart, value);
    } else {
        const Line &line = lines[std::size_t(found.lastSoundLine)];
        const QByteArray end = line.end > line.start && bytes.at(line.end - 1) == '\r' ? "\r\n" : "\n";
        const QByteArray added = (prefix + loopKey).toLatin1() + '=' + value;
        if (line.end < bytes.size())
            bytes.insert(line.end + 1, added + end);
        else
            bytes.append(end + added);  // the file ended without a line end, and still does
    }

    const QString failed = WriteWhole(path, bytes);
    if (!failed.isNull())
        return QStringLiteral("Failed to write ") + path + QStringLiteral(": ") + failed;
    // Kept only once the change is made, so that a refused write leaves no trace.
    const QString original = OriginalPath();
    if (!QFileInfo::exists(original)
        && (!QDir().mkpath(QFileInfo(original).path()) || !WriteWhole(original, unchanged).isNull())) {
        WriteWhole(path, unchanged);
        return QStringLiteral("Failed to keep the original loop starts in ") + original;
    }
    return QString();
}

QString LoopStarts::OriginalPath() const
{
    const QFileInfo metafile(path);
    return metafile.absoluteDir().filePath(QStringLiteral(".original_loop_starts/") + metafile.fileName());
}

std::optional<qint64> LoopStarts::Original(int bank, int sound) const
{
    const QString original = OriginalPath();
    return QFileInfo::exists(original) ? LoopStarts(original).Get(bank, sound) : Get(bank, sound);
}

QList<LoopStarts::Change> LoopStarts::Changed() const
{
    QList<Change> changes;
    IniFile originals, current;
    if (!originals.Load(OriginalPath()) || !current.Load(path))
        return changes;
    static const QRegularExpression bankName(QStringLiteral("^Bank_(\\d+)$"));
    static const QRegularExpression loopName(QStringLiteral("^sound_(\\d+)\\.loop_offset$"));
    // Absent keys count as "does not loop" on either side, so both files' keys are gathered.
    QMap<std::pair<int, int>, std::pair<QString, QString>> values;
    const auto gather = [&](const IniFile &file, bool bOriginal) {
        for (const QString &section : file.SectionNames()) {
            const QRegularExpressionMatch bankMatch = bankName.match(section);
            if (!bankMatch.hasMatch())
                continue;
            for (const IniFile::Entry &entry : *file.FindSection(section)) {
                const QRegularExpressionMatch loopMatch = loopName.match(entry.key);
                if (!loopMatch.hasMatch())
                    continue;
                auto &pair = values[{bankMatch.captured(1).toInt(), loopMatch.captured(1).toInt()}];
                (bOriginal ? pair.first : pair.second) = entry.value.trimmed().toString();
            }
        }
    };
    gather(originals, true);
    gather(current, false);
    const auto frame = [](const QString &value) {
        bool bNumber = false;
        const qint64 number = value.toLongLong(&bNumber);
        return bNumber ? number : none;
    };
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const qint64 before = frame(it.value().first);
        const qint64 now = frame(it.value().second);
        if (before != now)
            changes.append({it.key().first, it.key().second, before, now});
    }
    return changes;
}

LoopStarts::Fitted LoopStarts::Fit(qint64 frames, qint64 loopStart)
{
    if (loopStart == none || (loopStart >= 0 && loopStart < frames))
        return {loopStart, false};
    return {frames > 0 ? 0 : none, true};
}
