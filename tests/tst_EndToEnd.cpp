#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <memory>

#include <sndfile.h>

#include "GameAudioFiles.h"
#include "ScriptedDialogs.h"
#include "app/MainWindow.h"

using namespace GameAudioFiles;

namespace
{
const QString loadQuestion = QStringLiteral("Load existing files: The archiv, that you want to export, already exist in "
                                            "your working directory.\nDo you want load the existing archiv from your "
                                            "working directory?");

QMap<QString, QByteArray> FilesOf(const QString &folder)
{
    QMap<QString, QByteArray> files;
    for (const QString &file : FilesBelow(folder))
        files[file] = ReadFile(folder + QLatin1Char('/') + file);
    return files;
}
}

// The real window with the real tools over a game folder made by the demo generator: unpack an
// archive, play an entry, replace another, save, unpack again, and find exactly that change.
class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void ReplacedEntrySurvivesSaveAndReload_data();
    void ReplacedEntrySurvivesSaveAndReload();

private:
    QModelIndex ArchiveNode(int group, int leaf) const;
    QAbstractItemModel *EntryModel() const;

    QString previousDirectory;
    std::unique_ptr<QTemporaryDir> dir;
    QString root;
    QString work;
    QString game;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<MainWindow> window;
};

void TestEndToEnd::initTestCase()
{
    previousDirectory = QDir::currentPath();
}

void TestEndToEnd::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    root = QFileInfo(dir->path()).canonicalFilePath();
    work = root + QStringLiteral("/work");
    game = root + QStringLiteral("/game");
    QVERIFY(QDir().mkpath(work));
    // configuration.ini, metadata-full.ini and MetaData.xml go beside the test, where the window reads them.
    const ToolRun generated = Run(QStringLiteral(DEMO_GENERATOR_PATH), {game, QCoreApplication::applicationDirPath()});
    QVERIFY2(generated.exitCode == 0, qPrintable(generated.errorText));
    // The window looks for the tools and settings.ini in its current directory.
    QVERIFY(QFile::link(QStringLiteral(KIVO_SFX_PATH), root + QStringLiteral("/kivo_sfx.exe")));
    QVERIFY(QFile::link(QStringLiteral(KIVO_STREAM_PATH), root + QStringLiteral("/kivo_stream.exe")));
    QVERIFY(QDir::setCurrent(root));
    dialogs = std::make_unique<ScriptedDialogs>();
}

void TestEndToEnd::cleanup()
{
    window.reset();
    dialogs.reset();
    QDir::setCurrent(previousDirectory);
    for (const char *file : {"/configuration.ini", "/metadata-full.ini", "/MetaData.xml"})
        QFile::remove(QCoreApplication::applicationDirPath() + QLatin1String(file));
    dir.reset();
}

QModelIndex TestEndToEnd::ArchiveNode(int group, int leaf) const
{
    const QAbstractItemModel *model = window->findChild<QTreeView *>(QStringLiteral("archiveView"))->model();
    return model->index(leaf, 0, model->index(group, 0));
}

QAbstractItemModel *TestEndToEnd::EntryModel() const
{
    return window->findChild<QTreeView *>(QStringLiteral("entryView"))->model();
}

void TestEndToEnd::ReplacedEntrySurvivesSaveAndReload_data()
{
    QTest::addColumn<int>("group");        // in the demo's tree: 0 SFX, 1 Streams
    QTest::addColumn<int>("leaf");
    QTest::addColumn<bool>("useKivoMetadata");
    QTest::addColumn<QString>("folder");   // the archive's folder in the working directory
    QTest::addColumn<int>("bankRow");      // -1: the entries are not grouped in banks
    QTest::addColumn<QString>("replaced"); // the replaced entry's file in that folder
    QTest::addColumn<QString>("savedText");
    QTest::newRow("SFX sound by a WAV") << 0 << 1 << true << QStringLiteral("GENRL") << 1
                                        << QStringLiteral("Bank_002/sound_002.wav") << QStringLiteral("Save was successfull.");
    QTest::newRow("stream track by an OGG, station folders") << 1 << 0 << true << QStringLiteral("Tone Radio 101") << -1
                                                             << QStringLiteral("Track_002.ogg") << QStringLiteral("Save was successfull");
    QTest::newRow("stream track by an OGG, pack folders") << 1 << 1 << false << QStringLiteral("RE") << -1
                                                          << QStringLiteral("Track_002.ogg") << QStringLiteral("Save was successfull");
}

void TestEndToEnd::ReplacedEntrySurvivesSaveAndReload()
{
    QFETCH(int, group);
    QFETCH(int, leaf);
    QFETCH(bool, useKivoMetadata);
    QFETCH(QString, folder);
    QFETCH(int, bankRow);
    QFETCH(QString, replaced);
    QFETCH(QString, savedText);
    {
        QSettings settings(root + QStringLiteral("/settings.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("WorkingDirectory"), work);
        settings.setValue(QStringLiteral("GtaDirectory"), game);
        settings.setValue(QStringLiteral("UseKivoMetadata"), useKivoMetadata);
    }
    window = std::make_unique<MainWindow>();
    QCOMPARE(dialogs->Log(), QStringList());

    // Unpack.
    window->SoundFileSelected(ArchiveNode(group, leaf));
    QCOMPARE(dialogs->Log(), QStringList());
    QVERIFY(EntryModel());
    const QString archiveFolder = work + QLatin1Char('/') + folder;
    const auto unpacked = FilesOf(archiveFolder);
    QVERIFY(unpacked.contains(replaced));
    const auto entry = [this, bankRow](int row) {
        QAbstractItemModel *model = EntryModel();
        return bankRow < 0 ? model->index(row, 0) : model->index(row, 0, model->index(bankRow, 0));
    };
    QCOMPARE(entry(1).data().toString(), replaced);
    // The demo describes its entries under the paths the window builds for them.
    window->findChild<QTreeView *>(QStringLiteral("archiveView"))->setCurrentIndex(ArchiveNode(group, leaf));
    const QString virtualPath = window->GetVirtualItemPath(entry(1));
    QVERIFY2(ReadFile(QCoreApplication::applicationDirPath() + QStringLiteral("/MetaData.xml")).contains(virtualPath.toUtf8()),
             qPrintable(virtualPath));

    // Play one entry, replace the next one.
    QVERIFY(window->Play(entry(0)));
    const QString replacement = root + (bankRow < 0 ? QStringLiteral("/new.ogg") : QStringLiteral("/new.wav"));
    const QVector<qint16> newSamples = Tone(5000, 523.25, 11025, 15000);
    if (bankRow < 0)
        QVERIFY(WriteFile(replacement, OggVorbis(1.5, 987.77)));
    else
        QVERIFY(WriteSoundFile(replacement, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 11025, newSamples));
    auto *entryView = window->findChild<QTreeView *>(QStringLiteral("entryView"));
    entryView->selectionModel()->select(entry(1), QItemSelectionModel::ClearAndSelect);
    dialogs->paths.enqueue(replacement);
    window->Replace();
    QCOMPARE(window->findChild<QStatusBar *>()->currentMessage(), QStringLiteral("Item was successfull replaced."));
    window->StopPlaying();

    // Save into the game folder, then unpack again instead of reusing the folder.
    window->SaveArchive();
    QCOMPARE(window->findChild<QStatusBar *>()->currentMessage(), savedText);
    QCOMPARE(dialogs->Log().filter(QStringLiteral("Error")), QStringList());
    dialogs->buttons.enqueue(QMessageBox::No);
    dialogs->shown.clear();
    QVERIFY(QFile::remove(archiveFolder + QLatin1Char('/') + replaced)); // must come back from the archive
    window->SoundFileSelected(ArchiveNode(group, leaf));
    QCOMPARE(dialogs->Log(), QStringList{loadQuestion});
    QVERIFY(EntryModel());

    const auto reloaded = FilesOf(archiveFolder);
    QCOMPARE(reloaded.keys(), unpacked.keys());
    for (const QString &file : unpacked.keys()) {
        if (file == replaced || file.endsWith(QStringLiteral(".ini")))
            continue;
        QVERIFY2(reloaded[file] == unpacked[file], qPrintable(file + QStringLiteral(" changed")));
    }
    if (bankRow < 0) {
        QCOMPARE(reloaded[replaced], ReadFile(replacement));
    } else {
        const Wav wav = ReadWav(archiveFolder + QLatin1Char('/') + replaced);
        QCOMPARE(wav.rate, 11025);
        QCOMPARE(wav.samples, newSamples);
    }
    QVERIFY(QFile::exists(game + (bankRow < 0 ? QStringLiteral("/audio/CONFIG/TrakLkup.dat.bak")
                                              : QStringLiteral("/audio/CONFIG/BankLkup.dat.bak"))));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_EndToEnd.moc"
