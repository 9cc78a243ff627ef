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

#include "DemoGame.h"
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
// What a folder holds, but for the process ids the tools' wrappers leave beside them.
QStringList Listing(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    names.removeIf([](const QString &name) { return name.endsWith(".pid"); });
    return names;
}
}

class TestCatalogWindow : public QObject
{
    Q_OBJECT

    // The demo game, its folder the current directory while a test runs, with the real tools in it.
    std::unique_ptr<DemoGame> game;

    void Start() { game->Start(false); }
    MainWindow *Window() const { return game->window.get(); }
    CatalogWindow *Search(const QString &query) const
    {
        game->Trigger("Find in &all archives...");
        auto *catalog = Window()->findChild<CatalogWindow *>();
        auto *field = catalog->findChild<QLineEdit *>("catalogQuery");
        field->clear();
        QTest::keyClicks(field, query);
        return catalog;
    }
    QTreeView *View(const char *name) const { return game->View(name); }
    QString CurrentEntryName() const
    {
        const IniMetafileItem *item = IniMetafileModel::ItemOf(View("entryView")->currentIndex());
        return item ? item->GetName() : QString();
    }

private slots:
    void init()
    {
        game = std::make_unique<DemoGame>();
        QVERIFY(game->IsReady());
    }
    void cleanup() { game.reset(); }

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
            Window()->SoundFileSelected(tree->match(tree->index(0, 0), Qt::DisplayRole, opened, 1,
                                                  Qt::MatchExactly | Qt::MatchRecursive).value(0));
            before = View("entryView")->model();
            QVERIFY(before);
        }
        game->dialogs->shown.clear();
        CatalogWindow *catalog = Search(query);
        auto *results = catalog->findChild<QTableView *>("catalogResults");
        QCOMPARE(results->model()->rowCount(), 1);
        QTest::keyClick(results, Qt::Key_Return);

        QCOMPARE(game->dialogs->Log(), QStringList());
        QCOMPARE(CurrentEntryName(), entry);
        const QModelIndex current = View("entryView")->currentIndex();
        QVERIFY(!current.parent().isValid() || View("entryView")->isExpanded(current.parent()));
        QCOMPARE(View("entryView")->model() == before, query.contains("genrl") && !opened.isEmpty());
    }

    void SpacePlaysAHitOfAnUnopenedArchiveFromACopyOutsideEveryFolderOfTheUser()
    {
        Start();
        const QMap<QString, QByteArray> gameFiles = Snapshot(game->Game());
        const QStringList current = Listing(game->Root());
        auto *player = Window()->findChild<FModPlayerWidget *>();
        QSignalSpy started(player, &FModPlayerWidget::PlayingStarted);

        CatalogWindow *catalog = Search("spc_ea alarm 600");
        QTest::keyClick(catalog->findChild<QTableView *>("catalogResults"), Qt::Key_Space);
        QCOMPARE(game->dialogs->Log(), QStringList());
        QCOMPARE(game->StatusBar()->currentMessage(), "Playing file SFX > SPC_EA > Bank_001/sound_001.wav");
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

        QCOMPARE(Listing(game->Work()), QStringList());
        QCOMPARE(Listing(game->Root()), current);
        QCOMPARE(Snapshot(game->Game()), gameFiles);
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
        QTest::newRow("a text of empty lines: the program's shows again") << QByteArray() << QStringList{"mine", "\n;"} << demo
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
        const QString userPath = game->Root() + "/user-metadata.xml";
        if (!userFile.isEmpty())
            QVERIFY(WriteFile(userPath, userFile));
        Start();
        const QAbstractItemModel *tree = View("archiveView")->model();
        Window()->SoundFileSelected(tree->match(tree->index(0, 0), Qt::DisplayRole, "GENRL", 1,
                                              Qt::MatchExactly | Qt::MatchRecursive).value(0));
        QTreeView *entries = View("entryView");
        entries->setCurrentIndex(entries->model()->index(0, 0, entries->model()->index(1, 0)));
        Window()->ShowInfoDialog();
        for (const QString &text : (texts.isEmpty() ? QStringList{"never stored"} : texts)) {
            game->dialogs->whileShown = [&] {
                if (auto *field = Window()->findChild<QPlainTextEdit *>("descriptionText"))
                    field->setPlainText(text);
            };
            game->Trigger("Descri&be...");
        }

        QStringList titles;
        for (const UserDialogs::Request &request : game->dialogs->shown)
            if (request.kind != UserDialogs::Kind::Dialog)
                titles << request.title;
        QCOMPARE(titles, boxes);
        // The refusal names the file it will not overwrite.
        QVERIFY(boxes.isEmpty() || game->dialogs->shown.last().text.contains(userPath));
        auto *list = qobject_cast<QStringListModel *>(Window()->findChild<QListView *>("metaList")->model());
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
