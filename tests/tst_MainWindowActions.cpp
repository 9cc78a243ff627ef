#include "WindowFixture.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

// The commands of the main window reached through their keyboard shortcuts and actions.
class TestMainWindowActions : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fixture = std::make_unique<WindowFixture>();
        fixture->WriteSfxArchive("Sfx1", {{"a1.wav", "a2.wav"}, {"b1.wav"}});
        fixture->Open();
        fixture->Window()->show();
        QVERIFY(QTest::qWaitForWindowActive(fixture->Window()));
        QVERIFY(fixture->Load("Sfx1"));
    }
    void cleanup() { fixture.reset(); }

    void PlayerShortcutsActOnTheEntries()
    {
        const QString folder = fixture->WorkDir() + "/Sfx1/";
        fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 0));

        Press(Qt::Key_Space);
        QCOMPARE(fixture->Status(), "Playing file " + folder + "a1.wav");
        Press(Qt::Key_Right);
        QCOMPARE(fixture->Status(), "Playing file " + folder + "a2.wav");
        QCOMPARE(fixture->EntryView()->currentIndex(), fixture->Entry(0, 1));
        Press(Qt::Key_Left);
        QCOMPARE(fixture->EntryView()->currentIndex(), fixture->Entry(0, 0));
        Press(Qt::CTRL | Qt::Key_B);
        QCOMPARE(fixture->Status(), QString());
        Press(Qt::Key_Space);
        QVERIFY(fixture->Player()->IsPlaying());
        Press(Qt::Key_Escape);
        QVERIFY(!fixture->Player()->IsPlaying());
        QCOMPARE(fixture->Status(), QString());
    }

    void InfoAndSearchShortcutsActAnywhere()
    {
        // The archive tree opens with its top level expanded; the entries wait for Ctrl+E.
        QVERIFY(fixture->ArchiveView()->isExpanded(fixture->ArchiveView()->model()->index(0, 0)));
        QVERIFY(!fixture->EntryView()->isExpanded(fixture->Entry(-1, 0)));
        Press(Qt::CTRL | Qt::Key_E);
        QVERIFY(fixture->EntryView()->isExpanded(fixture->Entry(-1, 0)));
        QVERIFY(fixture->EntryView()->isExpanded(fixture->Entry(-1, 1)));

        fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 0));
        Press(Qt::Key_F1);
        QVERIFY(!fixture->MetaList()->isHidden());
        Press(Qt::Key_F1);
        QVERIFY(fixture->MetaList()->isHidden());

        auto *edit = fixture->SearchBar()->findChild<QLineEdit *>("searchEdit");
        edit->setText("1.wav");
        Press(Qt::CTRL | Qt::Key_F);
        QVERIFY(edit->hasFocus());
        QCOMPARE(edit->selectedText(), "1.wav");
        Press(Qt::Key_F3);
        QCOMPARE(fixture->EntryView()->currentIndex(), fixture->Entry(0, 0));
        Press(Qt::Key_F3);
        QCOMPARE(fixture->EntryView()->currentIndex(), fixture->Entry(1, 0));
        Press(Qt::SHIFT | Qt::Key_F3);
        QCOMPARE(fixture->EntryView()->currentIndex(), fixture->Entry(0, 0));
    }

    void FileShortcutsReachTheirCommands()
    {
        // Loaded from the tree, so that Save knows which archive to pack; no tool is at hand for it.
        QVERIFY(fixture->OpenFromTree({"Audio", "Sfx1"}));
        fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 0));

        for (QKeyCombination keys : {Qt::CTRL | Qt::Key_G, Qt::CTRL | Qt::Key_R, Qt::CTRL | Qt::Key_X, Qt::CTRL | Qt::Key_S})
            Press(keys);
        const QStringList log = fixture->dialogs.Log();
        QCOMPARE(log.size(), 4);
        QCOMPARE(log[0], "chooser: Select a directory");
        QCOMPARE(fixture->dialogs.shown[1].kind, UserDialogs::Kind::OpenFileName);
        QVERIFY(log[2].startsWith("Warning: All files inside your working directory"));
        QCOMPARE(log[3], "Error: kivo_sfx.exe could not be found.");

        Press(Qt::CTRL | Qt::Key_W);
        QVERIFY(!fixture->Window()->isVisible());
    }

    void ActionsWithoutShortcutReachTheirSlots()
    {
        const auto actions = fixture->Window()->centralWidget()->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly);
        const auto trigger = [&](const QString &text) {
            for (QAction *action : actions) {
                if (action->text() == text)
                    action->trigger();
            }
        };
        fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 0));
        trigger("&Export");
        trigger("Set &GTA Directory");
        trigger("Restore &original archive");  // nothing is selected in the tree
        trigger("Replace from fol&der...");
        QCOMPARE(fixture->dialogs.Log(),
                 (QStringList{"chooser: Selected directory for export", "chooser: ",
                              "Information: Select the archive to restore in the archive tree first.",
                              "chooser: Select the folder with the replacements"}));
        QCOMPARE(fixture->dialogs.shown[1].kind, UserDialogs::Kind::ExistingDirectory);
        QCOMPARE(fixture->dialogs.shown[3].kind, UserDialogs::Kind::ExistingDirectory);
        const auto menuTexts = [&](int menu) {
            QStringList texts;
            for (const QAction *action : fixture->Window()->QMainWindow::menuBar()->actions().at(menu)->menu()->actions())
                texts << action->text() + action->shortcut().toString();
            return texts;
        };
        const QStringList fileMenu = menuTexts(0);
        QCOMPARE(fileMenu.mid(fileMenu.indexOf("&SaveCtrl+S"), 4),
                 (QStringList{"&SaveCtrl+S", "Restore &original archive", "Export changes as &mod folder...", "&ExitCtrl+W"}));
        // The folder command follows Replace in the "&Actions" menu, and revert follows it.
        const QStringList actionsMenu = menuTexts(1);
        QCOMPARE(actionsMenu.mid(actionsMenu.indexOf("&ReplaceCtrl+R") + 1, 2),
                 (QStringList{"Replace from fol&der...", "Re&vert to original"}));
        QStringList contextMenu;
        for (const QAction *action : fixture->EntryView()->actions())
            contextMenu << action->text();
        QCOMPARE(contextMenu, (QStringList{"&Replace", "&Export", "&Play", "", "Re&vert to original", "Play original"}));
        // Each icon comes from the resources; a wrong name leaves a blank button.
        for (const QAction *action : actions)
            QVERIFY2(!action->icon().pixmap(QSize(32, 32)).isNull(), qPrintable(action->text()));
    }

private:
    void Press(QKeyCombination keys) const
    {
        fixture->EntryView()->setFocus();
        QTest::keySequence(fixture->Window(), QKeySequence(keys));
    }

    std::unique_ptr<WindowFixture> fixture;
};

QTEST_MAIN(TestMainWindowActions)
#include "tst_MainWindowActions.moc"
