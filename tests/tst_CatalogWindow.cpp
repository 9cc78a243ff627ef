// The search over every archive, playing a hit and describing an entry, driven through the real window over the
// demo game with the real toolkit.
#include <QAction>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStringListModel>
#include <QTableView>
#include <QTest>
#include <QTreeView>

#include <memory>

#include "GameAudioFiles.h"
#include "ScriptedDialogs.h"
#include "app/CatalogWindow.h"
#include "app/MainWindow.h"
#include "metafile/IniMetafileItem.h"
#include "metafile/IniMetafileModel.h"
#include "player/FModPlayerWidget.h"

using namespace GameAudioFiles;

namespace
{
QStringList Listing(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}
}

class TestCatalogWindow : public QObject
{
    Q_OBJECT

    // The demo game in a folder that is the current directory while a test runs, with the real tools in it.
    std::unique_ptr<QTemporaryDir> dir;
    QString root;
    QString previousDirectory;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<MainWindow> window;

    QString Game() const { return root + "/game"; }
    QString Work() const { return root + "/work"; }

    void Start()
    {
        QSettings settings(root + "/settings.ini", QSettings::IniFormat);
        settings.setValue("WorkingDirectory", Work());
        settings.setValue("GtaDirectory", Game());
        settings.setValue("UseKivoMetadata", false);
        settings.sync();
        window = std::make_unique<MainWindow>();
    }

    void Trigger(const QString &text) const
    {
        for (QAction *action : window->centralWidget()->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly))
            if (action->text() == text)
                return action->trigger();
        QFAIL(qPrintable("no action " + text));
    }

    CatalogWindow *Search(const QString &query) const
    {
        Trigger("Find in &all archives...");
        auto *catalog = window->findChild<CatalogWindow *>();
        auto *field = catalog->findChild<QLineEdit *>("catalogQuery");
        field->clear();
        QTest::keyClicks(field, query);
        return catalog;
    }

    QTreeView *View(const char *name) const { return window->findChild<QTreeView *>(QLatin1String(name)); }
    QString CurrentEntryName() const
    {
        const IniMetafileItem *item = IniMetafileModel::ItemOf(View("entryView")->currentIndex());
        return item ? item->GetName() : QString();
    }
    QString Status() const { return window->findChild<QStatusBar *>()->currentMessage(); }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        root = QFileInfo(dir->path()).canonicalFilePath();
        previousDirectory = QDir::currentPath();
        QDir().mkpath(Work());
        const ToolRun generated = Run(QStringLiteral(DEMO_GENERATOR_PATH), {Game(), QCoreApplication::applicationDirPath()});
        QVERIFY2(generated.exitCode == 0, qPrintable(generated.errorText));
        QVERIFY(QFile::link(KIVO_SFX_PATH, root + "/kivo_sfx.exe") && QFile::link(KIVO_STREAM_PATH, root + "/kivo_stream.exe"));
        QVERIFY(QDir::setCurrent(root));
        dialogs = std::make_unique<ScriptedDialogs>();
    }
    void cleanup()
    {
        window.reset();
        dialogs.reset();
        QDir::setCurrent(previousDirectory);
        for (const char *file : {"/configuration.ini", "/metadata-full.ini", "/MetaData.xml"})
            QFile::remove(QCoreApplication::applicationDirPath() + QLatin1String(file));
        dir.reset();
    }

    void ReturnOpensTheHitsArchiveAndMakesTheEntryCurrent_data()
    {
        QTest::addColumn<QString>("opened");  // the archive open before, in the working directory
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("entry");
        QTest::newRow("SFX archive, not unpacked yet") << "" << "genrl FALLING" << "Bank_003/sound_002.wav";
        QTest::newRow("track, another archive open") << "GENRL" << "minor ch walk" << "Track_002.ogg";
        QTest::newRow("its archive open: only the entry") << "GENRL" << "nursery genrl" << "Bank_003/sound_003.wav";
    }
    void ReturnOpensTheHitsArchiveAndMakesTheEntryCurrent()
    {
        QFETCH(QString, opened);
        QFETCH(QString, query);
        QFETCH(QString, entry);
        Start();
        const QAbstractItemModel *before = nullptr;
        if (!opened.isEmpty()) {
            const QAbstractItemModel *tree = View("archiveView")->model();
            window->SoundFileSelected(tree->match(tree->index(0, 0), Qt::DisplayRole, opened, 1,
                                                  Qt::MatchExactly | Qt::MatchRecursive).value(0));
            before = View("entryView")->model();
            QVERIFY(before);
        }
        dialogs->shown.clear();
        CatalogWindow *catalog = Search(query);
        auto *results = catalog->findChild<QTableView *>("catalogResults");
        QCOMPARE(results->model()->rowCount(), 1);
        QTest::keyClick(results, Qt::Key_Return);

        QCOMPARE(dialogs->Log(), QStringList());
        QCOMPARE(CurrentEntryName(), entry);
        const QModelIndex current = View("entryView")->currentIndex();
        QVERIFY(!current.parent().isValid() || View("entryView")->isExpanded(current.parent()));
        QCOMPARE(View("entryView")->model() == before, query.contains("genrl") && !opened.isEmpty());
    }

    void SpacePlaysAHitOfAnUnopenedArchiveFromACopyOutsideEveryFolderOfTheUser()
    {
        Start();
        const QMap<QString, QByteArray> game = Snapshot(Game());
        const QStringList current = Listing(root);
        auto *player = window->findChild<FModPlayerWidget *>();
        QSignalSpy started(player, &FModPlayerWidget::PlayingStarted);

        CatalogWindow *catalog = Search("spc_ea alarm 600");
        QTest::keyClick(catalog->findChild<QTableView *>("catalogResults"), Qt::Key_Space);
        QCOMPARE(dialogs->Log(), QStringList());
        QCOMPARE(Status(), "Playing file SFX > SPC_EA > Bank_001/sound_001.wav");
        QCOMPARE(started.size(), 1);
        const QString copy = started.at(0).at(0).toString();
        QVERIFY(QFileInfo(copy).isFile());
        QVERIFY(player->IsPlaying());

        // Another hit takes the place of the first; stopping removes the second.
        Search("spc_ea clicks");
        QTest::keyClick(catalog->findChild<QTableView *>("catalogResults"), Qt::Key_Space);
        QCOMPARE(started.size(), 2);
        const QString second = started.at(1).at(0).toString();
        QVERIFY(!QFileInfo::exists(QFileInfo(copy).path()));
        QVERIFY(QFileInfo(second).isFile());
        player->Stop();
        QVERIFY(!QFileInfo::exists(QFileInfo(second).path()));

        QCOMPARE(Listing(Work()), QStringList());
        QCOMPARE(Listing(root), current);
        QCOMPARE(Snapshot(Game()), game);
        QCOMPARE(View("entryView")->model(), nullptr);
    }

    void DescribeStoresTheUsersTextAndShowsItAtOnce_data()
    {
        QTest::addColumn<QByteArray>("userFile");  // before the start; empty: none
        QTest::addColumn<QStringList>("texts");    // typed into the dialog, one after the other
        QTest::addColumn<QStringList>("shown");    // in the metadata list afterwards
        QTest::addColumn<QStringList>("boxes");
        const QStringList demo{"Sweep", "200 Hz to 2000 Hz", "22050 Hz mono"};
        QTest::newRow("lines and a semicolon") << QByteArray() << QStringList{"Rising whistle\nlong; bright"}
                                               << QStringList{"Rising whistle", "long", " bright"} << QStringList();
        QTest::newRow("empty text: the program's shows again") << QByteArray() << QStringList{"mine", "\n"} << demo
                                                               << QStringList();
        QTest::newRow("broken file: refused, never overwritten")
            << QByteArray("<RozivOzeMetaData><InfoData") << QStringList() << demo
            << QStringList{"Error in Xml-File", "Error"};
    }
    void DescribeStoresTheUsersTextAndShowsItAtOnce()
    {
        QFETCH(QByteArray, userFile);
        QFETCH(QStringList, texts);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, boxes);
        const QString userPath = root + "/user-metadata.xml";
        if (!userFile.isEmpty())
            QVERIFY(WriteFile(userPath, userFile));
        Start();
        const QAbstractItemModel *tree = View("archiveView")->model();
        window->SoundFileSelected(tree->match(tree->index(0, 0), Qt::DisplayRole, "GENRL", 1,
                                              Qt::MatchExactly | Qt::MatchRecursive).value(0));
        QTreeView *entries = View("entryView");
        entries->setCurrentIndex(entries->model()->index(0, 0, entries->model()->index(1, 0)));
        window->ShowInfoDialog();
        for (const QString &text : (texts.isEmpty() ? QStringList{"never stored"} : texts)) {
            dialogs->whileShown = [&] {
                if (auto *field = window->findChild<QPlainTextEdit *>("descriptionText"))
                    field->setPlainText(text);
            };
            Trigger("Descri&be...");
        }

        QStringList titles;
        for (const UserDialogs::Request &request : dialogs->shown)
            if (request.kind != UserDialogs::Kind::Dialog)
                titles << request.title;
        QCOMPARE(titles, boxes);
        // The refusal names the file it will not overwrite.
        QVERIFY(boxes.isEmpty() || dialogs->shown.last().text.contains(userPath));
        auto *list = qobject_cast<QStringListModel *>(window->findChild<QListView *>("metaList")->model());
        QCOMPARE(list->stringList(), shown);
        if (!userFile.isEmpty()) {
            QCOMPARE(ReadFile(userPath), userFile);
            return;
        }
        const QByteArray stored = ReadFile(userPath);
        QCOMPARE(stored.contains("Archiv\\SFX\\GENRL\\Bank_002\\sound_001.wav"), shown.first() != "Sweep");
        // The search over all archives sees the new text at once.
        CatalogWindow *catalog = Search("genrl " + shown.first().section(' ', 0, 0));
        QVERIFY(catalog->findChild<QTableView *>("catalogResults")->model()->rowCount() >= 1);
    }
};

QTEST_MAIN(TestCatalogWindow)
#include "tst_CatalogWindow.moc"
