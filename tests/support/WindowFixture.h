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
// Files the program reads beside itself are written with WriteBesideProgram.
class WindowFixture
{
public:
    WindowFixture()
    {
        previousCurrent = QDir::currentPath();
        QDir(root.path()).mkpath(QStringLiteral("current"));
        QDir(root.path()).mkpath(QStringLiteral("work"));
        QDir(root.path()).mkpath(QStringLiteral("gta"));
        QDir(root.path()).mkpath(QStringLiteral("elsewhere"));
        QDir::setCurrent(root.filePath(QStringLiteral("current")));
        QSettings settings(QStringLiteral("settings.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("WorkingDirectory"), WorkDir());
        settings.setValue(QStringLiteral("GtaDirectory"), root.filePath(QStringLiteral("gta")));
    }
    ~WindowFixture()
    {
        window.reset();
        QDir::setCurrent(previousCurrent);
    }
    WindowFixture(const WindowFixture &) = delete;
    WindowFixture &operator=(const WindowFixture &) = delete;

    QString WorkDir() const { return root.filePath(QStringLiteral("work")); }
    // A folder outside the working directory, for files that must never be touched.
    QString Elsewhere() const { return root.filePath(QStringLiteral("elsewhere")); }
    QString Root() const { return root.path(); }

    MainWindow *Open()
    {
        window = std::make_unique<MainWindow>();
        dialogs.shown.clear();
        return window.get();
    }

    MainWindow *Window() const { return window.get(); }
    QTreeView *EntryView() const { return window->findChild<QTreeView *>(QStringLiteral("entryView")); }
    QTreeView *ArchiveView() const { return window->findChild<QTreeView *>(QStringLiteral("archiveView")); }
    QListView *MetaList() const { return window->findChild<QListView *>(QStringLiteral("metaList")); }
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
        if (parentRow < 0)
            return model->index(row, 0);
        return model->index(row, 0, model->index(parentRow, 0));
    }

    // Loads an archive folder of the working directory; false when the entry view shows nothing.
    [[nodiscard]] bool LoadSfx(const QString &name)
    {
        window->SetModel(QDir(WorkDir()).filePath(name + QStringLiteral("/sfx_import.ini")), IniMetafileModel::SFX);
        return Entries() && Entries()->rowCount() > 0;
    }
    [[nodiscard]] bool LoadStream(const QString &name)
    {
        window->SetModel(QDir(WorkDir()).filePath(name + QStringLiteral("/stream_import.ini")),
                         IniMetafileModel::STREAM);
        return Entries() && Entries()->rowCount() > 0;
    }
    [[nodiscard]] bool Load(bool bStream, const QString &name) { return bStream ? LoadStream(name) : LoadSfx(name); }

    // Selects the archive-tree node reached by following `names` from the top.
    bool SelectArchive(const QStringList &names) const
    {
        QTreeView *view = ArchiveView();
        QAbstractItemModel *model = view->model();
        if (!model)
            return false;
        QModelIndex node;
        for (const QString &name : names) {
            QModelIndex next;
            for (int row = 0; row < model->rowCount(node); ++row) {
                if (model->index(row, 0, node).data().toString() == name)
                    next = model->index(row, 0, node);
            }
            if (!next.isValid())
                return false;
            node = next;
        }
        view->setCurrentIndex(node);
        return true;
    }

    // Banks of sound file names; each named sound gets a short WAV file unless `bWriteSounds` is
    // false. The archive folder is `name` and its metafile names it as its basename.
    QString WriteSfxArchive(const QString &name, const QList<QStringList> &banks, bool bWriteSounds = true,
                            const QString &basename = QString()) const
    {
        const QString folder = QDir(WorkDir()).filePath(name);
        QDir().mkpath(folder);
        QString text = QStringLiteral("[Archive]\nbasename=%1\nlookup_index=0\nnum_banks=%2\n")
                           .arg(basename.isNull() ? name : basename).arg(banks.size());
        for (int bank = 0; bank < banks.size(); ++bank) {
            text += QStringLiteral("[Bank_%1]\nnum_sounds=%2\n").arg(bank + 1, 3, 10, QLatin1Char('0')).arg(banks[bank].size());
            for (int sound = 0; sound < banks[bank].size(); ++sound) {
                const QString key = QStringLiteral("sound_%1").arg(sound + 1, 3, 10, QLatin1Char('0'));
                text += key + QStringLiteral(".filename=") + banks[bank][sound] + QLatin1Char('\n');
                text += key + QStringLiteral(".sample_rate=22050\n") + key + QStringLiteral(".unknown_16=0\n");
                if (bWriteSounds)
                    WriteWave(QDir(folder).filePath(banks[bank][sound]));
            }
        }
        WriteText(QDir(folder).filePath(QStringLiteral("sfx_import.ini")), text);
        return folder;
    }

    QString WriteStreamArchive(const QString &name, const QStringList &tracks, bool bWriteSounds = true) const
    {
        const QString folder = QDir(WorkDir()).filePath(name);
        QDir().mkpath(folder);
        QString text = QStringLiteral("[Stream]\nnum_tracks=%1\nbasename=%2\nlookup_index=0\n").arg(tracks.size()).arg(name);
        for (int track = 0; track < tracks.size(); ++track) {
            text += QStringLiteral("[Track_%1]\nbeat_total=0\nfilename=%2\nlength_extra=0\nlength_index=0\n")
                        .arg(track + 1, 3, 10, QLatin1Char('0')).arg(tracks[track]);
            if (bWriteSounds)
                WriteWave(QDir(folder).filePath(tracks[track]), SF_FORMAT_OGG | SF_FORMAT_VORBIS);
        }
        WriteText(QDir(folder).filePath(QStringLiteral("stream_import.ini")), text);
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

    // The program reads "configuration.ini", "MetaData.xml" and "metadata-full.ini" from here.
    static void WriteBesideProgram(const QString &name, const QString &text)
    {
        WriteText(QDir(QCoreApplication::applicationDirPath()).filePath(name), text);
    }

    ScriptedDialogs dialogs;

private:
    QTemporaryDir root;
    QString previousCurrent;
    std::unique_ptr<MainWindow> window;
};

// The archive tree every window test starts with.
inline const char *StandardConfiguration()
{
    return "Audio\n"
           "  Sfx1\tAUDIO/SFX/SFX1\tSFX\tAUDIO/CONFIG/BankLkup.dat\n"
           "  Sfx2\tAUDIO/SFX/SFX2\tSFX\tAUDIO/CONFIG/BankLkup.dat\n"
           "  Radio\tAUDIO/STREAMS/RADIO\tSTREAM\n";
}
