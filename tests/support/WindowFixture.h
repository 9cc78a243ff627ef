#pragma once
#include "ScriptedDialogs.h"
#include "app/MainWindow.h"
#include "player/FModPlayerWidget.h"
#include "search/SearchDialog.h"

#include <QListView>
#include <QStatusBar>
#include <QTreeView>
#include <QtTest>  // with all of QtCore

#include <memory>
#include <sndfile.h>

// A main window over folders of its own (current, with "settings.ini" unless told otherwise; work; gta; elsewhere), so
// that start-up asks nothing. Files put beside the program go with the fixture; boxes and choosers go to `dialogs`.
class WindowFixture
{
public:
    explicit WindowFixture(bool bSettings = true)
    {
        for (const char *folder : {"current", "work", "gta", "elsewhere"})
            QDir(Root()).mkpath(QString::fromLatin1(folder));
        QDir::setCurrent(Root() + "/current");
        if (bSettings)
            WriteSettings();
        WriteBesideProgram();
    }
    ~WindowFixture()
    {
        window.reset();
        for (const QString &path : beside)
            QFileInfo(path).isDir() ? void(QDir(path).removeRecursively()) : void(QFile::remove(path));
        QDir::setCurrent(previousCurrent);
    }

    void WriteSettings(const QVariantMap &more = {}) const
    {
        QSettings settings("settings.ini", QSettings::IniFormat);
        settings.setValue("WorkingDirectory", WorkDir());
        settings.setValue("GtaDirectory", GtaDir());
        for (auto it = more.begin(); it != more.end(); ++it)
            settings.setValue(it.key(), it.value());
    }

    // The path of a file beside the program, which the fixture removes when it goes.
    QString Beside(const QString &name)
    {
        beside << QCoreApplication::applicationDirPath() + '/' + name;
        return beside.last();
    }

    // The program reads "configuration.ini" and "MetaData.xml" from beside itself.
    void WriteBesideProgram(const QByteArray &metaDataXml = "<Root/>\n",
                            const QByteArray &configuration = "Audio\n"
                                                              "  Sfx1\tAUDIO/SFX/SFX1\tSFX\tAUDIO/CONFIG/BankLkup.dat\n"
                                                              "  Sfx2\tAUDIO/SFX/SFX2\tSFX\tAUDIO/CONFIG/BankLkup.dat\n"
                                                              "  Radio\tAUDIO/STREAMS/RADIO\tSTREAM\n")
    {
        WriteText(Beside("configuration.ini"), configuration);
        WriteText(Beside("MetaData.xml"), metaDataXml);
    }

    // The physical path, as a tool's "pwd -P" prints it.
    QString Root() const { return QFileInfo(root.path()).canonicalFilePath(); }
    QString WorkDir() const { return Root() + "/work"; }
    QString GtaDir() const { return Root() + "/gta"; }
    // A folder outside the working directory, for files that must never be touched.
    QString Elsewhere() const { return Root() + "/elsewhere"; }

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
    QString Status() const { return window->QMainWindow::statusBar()->currentMessage(); }
    QAbstractItemModel *Entries() const { return EntryView()->model(); }

    // The entry at `row` under the top-level row `parentRow` (-1: a top-level entry).
    QModelIndex Entry(int parentRow, int row) const
    {
        QAbstractItemModel *model = Entries();
        return model ? model->index(row, 0, parentRow < 0 ? QModelIndex() : model->index(parentRow, 0)) : QModelIndex();
    }

    // Loads an archive folder of the working directory; false when the entry view shows nothing.
    [[nodiscard]] bool Load(const QString &name)
    {
        const bool bStream = QFile::exists(WorkDir() + '/' + name + "/stream_import.ini");
        window->SetModel(WorkDir() + '/' + name + (bStream ? "/stream_import.ini" : "/sfx_import.ini"),
                         bStream ? IniMetafileModel::STREAM : IniMetafileModel::SFX);
        return Entries() && Entries()->rowCount() > 0;
    }

    // The archive-tree node reached by following `names` from the top; invalid when there is none.
    QModelIndex ArchiveNode(const QStringList &names) const
    {
        QAbstractItemModel *model = ArchiveView()->model();
        QModelIndex node;
        for (const QString &name : names) {
            const QModelIndexList found =
                model ? model->match(model->index(0, 0, node), Qt::DisplayRole, name, 1, Qt::MatchExactly) : QModelIndexList();
            if (found.isEmpty())
                return QModelIndex();
            node = found.first();
        }
        return node;
    }

    // Opens the archive of that node from its earlier unpacking, as a double-click and "Yes" do,
    // and forgets the question; false when the entry view shows nothing.
    [[nodiscard]] bool OpenFromTree(const QStringList &names)
    {
        dialogs.buttons.enqueue(QMessageBox::Yes);
        window->SoundFileSelected(ArchiveNode(names));
        dialogs.shown.clear();
        return Entries() && Entries()->rowCount() > 0;
    }

    // Banks of sound file names; each named sound gets a short WAV file unless `bWriteSounds` is
    // false. The archive folder is `name` and its metafile names it as its basename.
    QString WriteSfxArchive(const QString &name, const QList<QStringList> &banks, bool bWriteSounds = true,
                            const QString &basename = QString()) const
    {
        const QString folder = WorkDir() + '/' + name;
        QString text = QStringLiteral("[Archive]\nbasename=%1\nlookup_index=0\nnum_banks=%2\n")
                           .arg(basename.isEmpty() ? name : basename).arg(banks.size());
        for (int bank = 0; bank < banks.size(); ++bank) {
            text += QStringLiteral("[Bank_%1]\nnum_sounds=%2\n").arg(Number(bank)).arg(banks[bank].size());
            for (int sound = 0; sound < banks[bank].size(); ++sound) {
                text += QStringLiteral("sound_%1.filename=%2\nsound_%1.sample_rate=22050\nsound_%1.unknown_16=0\n")
                            .arg(Number(sound), banks[bank][sound]);
                if (bWriteSounds)
                    WriteWave(folder + '/' + banks[bank][sound]);
            }
        }
        WriteText(folder + "/sfx_import.ini", text.toUtf8());
        return folder;
    }

    QString WriteStreamArchive(const QString &name, const QStringList &tracks, bool bWriteSounds = true) const
    {
        const QString folder = WorkDir() + '/' + name;
        QString text = QStringLiteral("[Stream]\nnum_tracks=%1\nbasename=%2\nlookup_index=0\n").arg(tracks.size()).arg(name);
        for (int track = 0; track < tracks.size(); ++track) {
            text += QStringLiteral("[Track_%1]\nbeat_total=0\nfilename=%2\nlength_extra=0\nlength_index=0\n")
                        .arg(Number(track), tracks[track]);
            if (bWriteSounds)
                WriteWave(folder + '/' + tracks[track], SF_FORMAT_OGG | SF_FORMAT_VORBIS);
        }
        WriteText(folder + "/stream_import.ini", text.toUtf8());
        return folder;
    }

    // A tenth of a second of a quiet tone; `seed` makes the contents of two files differ.
    static void WriteWave(const QString &path, int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16, int seed = 0)
    {
        QDir().mkpath(QFileInfo(path).path());
        SF_INFO info{0, 22050, 1, format, 0, 0};
        SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
        QVERIFY2(file, sf_strerror(nullptr));
        std::vector<float> samples(2205);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = 0.1f * float(((i + size_t(seed)) % 50)) / 50.0f;
        sf_writef_float(file, samples.data(), sf_count_t(samples.size()));
        sf_close(file);
    }

    static void WriteText(const QString &path, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size(), qPrintable(path));
    }

    // Everything in a folder, hidden entries too, by name.
    static QStringList Listing(const QString &folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

    static QByteArray ReadAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    ScriptedDialogs dialogs;

private:
    static QString Number(int index) { return QStringLiteral("%1").arg(index + 1, 3, 10, QLatin1Char('0')); }

    QString previousCurrent = QDir::currentPath();
    QTemporaryDir root;
    QStringList beside;
    std::unique_ptr<MainWindow> window;
};
