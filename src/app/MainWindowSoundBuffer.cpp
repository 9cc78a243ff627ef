#include "app/MainWindow.h"

#include <QFileInfo>
#include <QLocale>

#include <cmath>

#include "app/archive/SoundBufferGrowth.h"
#include "dialogs/UserDialogs.h"
#include "metafile/IniMetafileItem.h"

namespace
{
QString Size(quint64 bytes)
{
    return QLocale::c().formattedDataSize(qint64(bytes), 2, QLocale::DataSizeSIFormat);
}

QString Seconds(double seconds)
{
    return QString::number(seconds, 'f', 1) + QStringLiteral(" s");
}
}

bool MainWindow::AskAboutLongSounds(const QList<PlannedReplace> &planned, QHash<QString, double> &trimSeconds)
{
    // A track streams from its archive: its length costs the game no memory.
    if (!loadedArchive || loadedArchive->Type() != IniMetafileModel::SFX)
        return true;
    // The game's own sound where its original archive is kept: the file unpacking wrote may come
    // from an archive saved with a long sound already.
    const QHash<QString, double> keptLengths = SoundBufferGrowth::KeptOriginalLengths(*loadedArchive);
    QStringList lines;
    QHash<QString, double> originalSeconds;
    QHash<QString, quint64> newBytes;
    for (const PlannedReplace &replace : planned) {
        const IniMetafileItem *item = IniMetafileModel::ItemOf(replace.index);
        if (!item || replace.target.isNull())
            continue;
        const QString original = loadedArchive->OriginalFilePath(item->GetName());
        const double before = keptLengths.contains(item->GetName())
                                ? keptLengths.value(item->GetName())
                                : AudioConverter::Seconds(QFileInfo(original).isFile() ? original : replace.target);
        const double after = AudioConverter::Seconds(replace.chosen);
        // Every file of the replace counts towards the buffer, the long ones are asked about.
        const int rate = item->GetSampleRate() > 0 ? item->GetSampleRate() : AudioConverter::FormOf(replace.target).sampleRate;
        newBytes.insert(item->GetName(), quint64(std::llround(after * rate)) * 2);
        if (!SoundBufferGrowth::IsMuchLonger(after, before))
            continue;
        lines << item->GetName() + QStringLiteral(": ") + Seconds(after) + QStringLiteral(" instead of ") + Seconds(before);
        originalSeconds.insert(replace.target, before);
    }
    if (lines.isEmpty())
        return true;

    QString buffer;
    try {
        SoundBufferGrowth growth = SoundBufferGrowth::Of(*loadedArchive);
        for (auto it = newBytes.begin(); it != newBytes.end(); ++it)
            growth.SetSoundBytes(it.key(), it.value());
        const quint64 after = growth.AfterSave();
        buffer = QStringLiteral("When this is saved, the game's sound buffer grows by %1, from %2 to %3.")
                     .arg(Size(after - growth.Today()), Size(growth.Today()), Size(after));
    } catch (const QString &reason) {
        buffer = QStringLiteral("How far the game's sound buffer grows when this is saved cannot be told: ") + reason;
    }
    const QString text = (lines.size() == 1 ? QStringLiteral("The new sound is much longer than the original:\n")
                                            : QStringLiteral("The new sounds are much longer than their originals:\n"))
                       + lines.join(QLatin1Char('\n'))
                       + QStringLiteral("\n\n") + buffer
                       + QStringLiteral("\nThe game holds all its sounds in this buffer at once; one too large may keep "
                                        "it from starting.");
    const QMessageBox::StandardButton answer = UserDialogs::Question(
        this, QStringLiteral("Long sound"), text, QMessageBox::Yes | QMessageBox::Apply | QMessageBox::Cancel,
        QMessageBox::Cancel,
        {{QMessageBox::Yes, QStringLiteral("&Replace")},
         {QMessageBox::Apply, QStringLiteral("&Trim to the original's length")},
         {QMessageBox::Cancel, QStringLiteral("Cancel")}});
    if (answer == QMessageBox::Apply)
        trimSeconds = originalSeconds;
    return answer == QMessageBox::Yes || answer == QMessageBox::Apply;
}

bool MainWindow::MaySaveSoundBuffer()
{
    QString text;
    try {
        const SoundBufferGrowth growth = SoundBufferGrowth::Of(*loadedArchive);
        const quint64 after = growth.AfterSave();
        if (after <= 2 * growth.Original())
            return true;
        QStringList largest;
        for (const auto &[name, grown] : growth.LargestGrowths(5))
            largest << name + QStringLiteral(": ") + Size(grown);
        text = QStringLiteral("Saving %1 grows the game's sound buffer from %2 to %3, more than twice the %4 of %5.\n"
                              "The game holds all its sounds in this buffer at once; one that large may keep it from "
                              "starting.\n\nThe sounds that grow it most:\n%6\n\nSave anyway?")
                   .arg(FileNameOf(loadedArchive->ArchivePath()), Size(growth.Today()), Size(after),
                        Size(growth.Original()),
                        growth.IsOriginalKept() ? QStringLiteral("the game's original BankSlot.dat")
                                                : QStringLiteral("today's BankSlot.dat"),
                        largest.join(QLatin1Char('\n')));
    } catch (const QString &) {
        return true;  // the save refuses what cannot be read, in its own words
    }
    return UserDialogs::Question(this, QStringLiteral("Warning"), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No)
        == QMessageBox::Yes;
}
