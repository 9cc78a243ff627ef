#pragma once
#include "ScriptedDialogs.h"
#include "app/MainWindow.h"
#include "player/FModPlayerWidget.h"
#include "search/SearchDialog.h"

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QListView>
#include <QSettings>
#include <QStatusBar>
#include <QStringList>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <memory>
#include <sndfile.h>

// A main window over folders of its own: a current directory holding "settings.ini", a working
// directory and a game folder, so that start-up asks nothing. Boxes and choosers go to `dialogs`.
class WindowFixture
{
public:
    WindowFixture()
    {
        for (const char *folder : {"current", "work", "gta", "elsewhere"})
            QDir(root.path()).mkpath(QString::fromLatin1(folder));
        QDir::setCurrent(root.filePath("current"));
        QSettings settings("settings.ini", QSettings::IniFormat);
        settings.setValue("WorkingDirectory", WorkDir());
        settings.setValue("GtaDirectory", root.filePath("gta"));
    }
    ~WindowFixture()
    {
        window.reset();
        QDir::setCurrent(previousCurrent);
    }
    WindowFixture(const WindowFixture &) = delete;
    WindowFixture &operator=(const WindowFixture &) = delete;

    QString WorkDir() const { return root.filePath("work"); }
    // A folder outside the working directory, for files that must never be touched.
    QString Elsewhere() const { return root.filePath("elsewhere"); }
    QString Root() const { return root.path(); }

    MainWindow *Open()
    {
        window = std::make_unique<MainWindow>();
        dialogs.shown.clear();
        return window.get();
    }

    MainWindow *Window() const { return window.get(); }
    QTreeView *EntryView() const { return window->findChild<QTreeView *>("entryView"); }
    QTreeView *ArchiveView() const { return window->findChild<QTreeView *>("archiveView"); }
    QListView *MetaList() const { return window->findChild<QListView *>("metaList"); }
    FModPlayerWidget *Player() const { return window->findChild<FModPlayerWidget *>(); }
    SearchDialog *SearchBar() const { return window->findChild<SearchDialog *>(); }
    QString Status() const { return static_cast<QMainWindow *>(window.get())->statusBar()->currentMessage(); }
    QAbstractItemModel *Entries() const { return EntryView()->model(); }

    // The entry at `row` under the top-level row `parentRow` (-1: a top-level entry).
    QModelIndex Entry(int parentRow, int row) const
    {
        QAbstractItemModel *model = Entries();
        if (!model)
            return QModelIndex();
        return model->index(row, 0, parentRow < 0 ? QModelIndex() : model->index(parentRow, 0));
    }

    // Loads an archive folder of the working directory; false when the entry view shows nothing.
    [[nodiscard]] bool Load(bool bStream, const QString &name)
    {
        window->SetModel(QDir(WorkDir()).filePath(name + (bStream ? "/stream_import.ini" : "/sfx_import.ini")),
                         bStream ? IniMetafileModel::STREAM : IniMetafileModel::SFX);
        return Entries() && Entries()->rowCount() > 0;
    }
    [[nodiscard]] bool LoadSfx(const QString &name) { return Load(false, name); }
    [[nodiscard]] bool LoadStream(const QString &name) { return Load(true, name); }

    // Selects the archive-tree node reached by following `names` from the top.
    bool SelectArchive(const QStringList &names) const
    {
        QAbstractItemModel *model = ArchiveView()->model();
        QModelIndex node;
        for (const QString &name : names) {
            const QModelIndexList found = model ? model->match(model->index(0, 0, node), Qt::DisplayRole, name, 1,
                                                               Qt::MatchExactly)
                                                : QModelIndexList();
            if (found.isEmpty())
                return false;
            node = found.first();
        }
        ArchiveView()->setCurrentIndex(node);
        return true;
    }

    // Banks of sound file names; each named sound gets a short WAV file unless `bWriteSounds` is
    // false. The archive folder is `name` and its metafile names it as its basename.
    QString WriteSfxArchive(const QString &name, const QList<QStringList> &banks, bool bWriteSounds = true,
                            const QString &basename = QString()) const
    {
        const QString folder = MakeFolder(name);
        QString text = QStringLiteral("[Archive]\nbasename=%1\nlookup_index=0\nnum_banks=%2\n")
                           .arg(basename.isNull() ? name : basename).arg(banks.size());
        for (int bank = 0; bank < banks.size(); ++bank) {
            text += QStringLiteral("[Bank_%1]\nnum_sounds=%2\n").arg(Number(bank)).arg(banks[bank].size());
            for (int sound = 0; sound < banks[bank].size(); ++sound) {
                text += QStringLiteral("sound_%1.filename=%2\nsound_%1.sample_rate=22050\nsound_%1.unknown_16=0\n")
                            .arg(Number(sound), banks[bank][sound]);
                if (bWriteSounds)
                    WriteWave(folder + '/' + banks[bank][sound]);
            }
        }
        WriteText(folder + "/sfx_import.ini", text);
        return folder;
    }

    QString WriteStreamArchive(const QString &name, const QStringList &tracks, bool bWriteSounds = true) const
    {
        const QString folder = MakeFolder(name);
        QString text = QStringLiteral("[Stream]\nnum_tracks=%1\nbasename=%2\nlookup_index=0\n").arg(tracks.size()).arg(name);
        for (int track = 0; track < tracks.size(); ++track) {
            text += QStringLiteral("[Track_%1]\nbeat_total=0\nfilename=%2\nlength_extra=0\nlength_index=0\n")
                        .arg(Number(track), tracks[track]);
            if (bWriteSounds)
                WriteWave(folder + '/' + tracks[track], SF_FORMAT_OGG | SF_FORMAT_VORBIS);
        }
        WriteText(folder + "/stream_import.ini", text);
        return folder;
    }

    // A tenth of a second of a quiet tone; `seed` makes the contents of two files differ.
    static void WriteWave(const QString &path, int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16, int seed = 0)
    {
        SF_INFO info{};
        info.samplerate = 22050;
        info.channels = 1;
        info.format = format;
        SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
        QVERIFY2(file, sf_strerror(nullptr));
        std::vector<float> samples(2205);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = 0.1f * float(((i + size_t(seed)) % 50)) / 50.0f;
        sf_writef_float(file, samples.data(), sf_count_t(samples.size()));
        sf_close(file);
    }

    static void WriteText(const QString &path, const QString &text)
    {
        QFile file(path);
        QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
        file.write(text.toUtf8());
    }

    static QByteArray ReadAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The program reads "configuration.ini" and "MetaData.xml" from beside itself; the archive
    // tree is the one every window test starts with.
    static void WriteBesideProgram(const QString &metaDataXml = "<Root/>\n")
    {
        const QString beside = QCoreApplication::applicationDirPath() + '/';
        WriteText(beside + "configuration.ini", "Audio\n"
                                                "  Sfx1\tAUDIO/SFX/SFX1\tSFX\tAUDIO/CONFIG/BankLkup.dat\n"
                                                "  Sfx2\tAUDIO/SFX/SFX2\tSFX\tAUDIO/CONFIG/BankLkup.dat\n"
                                                "  Radio\tAUDIO/STREAMS/RADIO\tSTREAM\n");
        WriteText(beside + "MetaData.xml", metaDataXml);
    }

    ScriptedDialogs dialogs;

private:
    static QString Number(int index) { return QStringLiteral("%1").arg(index + 1, 3, 10, QLatin1Char('0')); }
    QString MakeFolder(const QString &name) const
    {
        QDir(WorkDir()).mkpath(name);
        return QDir(WorkDir()).filePath(name);
    }

    QString previousCurrent = QDir::currentPath();
    QTemporaryDir root;
    std::unique_ptr<MainWindow> window;
};
