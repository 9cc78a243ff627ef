#include "WindowFixture.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <iterator>

// The commands of the main window: actions, menus, tool bar and keyboard shortcuts.
class TestMainWindowActions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void ActionsComeInOrderWithShortcutsAndIcons();
    void MenusAndToolBarHoldActionsInOrder();
    void ShortcutsTriggerTheirActions_data();
    void ShortcutsTriggerTheirActions();
    void PlayerShortcutsActOnTheEntries();
    void InfoAndSearchShortcutsActAnywhere();
    void ActionsWithoutShortcutReachTheirSlots();

private:
    QList<QAction *> Actions() const
    {
        return fixture->Window()->centralWidget()->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly);
    }
    QAction *ActionNamed(const QString &text) const
    {
        const QList<QAction *> actions = Actions();
        for (QAction *action : actions) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    }
    static QStringList Texts(const QList<QAction *> &actions)
    {
        QStringList texts;
        for (const QAction *action : actions)
            texts << (action->isSeparator() ? QStringLiteral("----") : action->text());
        return texts;
    }
    void Press(const QKeySequence &keys) const
    {
        fixture->EntryView()->setFocus();
        QTest::keySequence(fixture->Window(), keys);
    }

    std::unique_ptr<WindowFixture> fixture;
};

namespace
{
struct ActionRow
{
    const char *text;
    const char *shortcut;
};

const ActionRow actionTable[] = {
    {"&Replace", "Ctrl+R"},
    {"&Find", "Ctrl+F"},
    {"&Clear working directory", "Ctrl+X"},
    {"Set &working directory", "Ctrl+G"},
    {"&Save", "Ctrl+S"},
    {"&Exit", "Ctrl+W"},
    {"&Info", "F1"},
    {"&Expand all", "Ctrl+E"},
    {"Play &next", "Right"},
    {"Play &previous", "Left"},
    {"&Break", "Ctrl+B"},
    {"&Stop", "Esc"},
    {"&Play", "Space"},
    {"Find &next", "F3"},
    {"Find &previous", "Shift+F3"},
    {"&Export", ""},
    {"About &Qt", ""},
    {"&About", ""},
    {"Set &GTA Directory", ""},
};
}

void TestMainWindowActions::initTestCase()
{
    WindowFixture::WriteBesideProgram(QStringLiteral("configuration.ini"), QString::fromLatin1(StandardConfiguration()));
    WindowFixture::WriteBesideProgram(QStringLiteral("MetaData.xml"), QStringLiteral("<Root/>\n"));
}

void TestMainWindowActions::init()
{
    fixture = std::make_unique<WindowFixture>();
    fixture->WriteSfxArchive(QStringLiteral("Sfx1"), {{"a1.wav", "a2.wav"}, {"b1.wav"}});
    fixture->Open();
    fixture->Window()->show();
    QVERIFY(QTest::qWaitForWindowActive(fixture->Window()));
}

void TestMainWindowActions::cleanup()
{
    fixture.reset();
}

void TestMainWindowActions::ActionsComeInOrderWithShortcutsAndIcons()
{
    const QList<QAction *> actions = Actions();
    QCOMPARE(actions.size(), int(std::size(actionTable)));
    for (int i = 0; i < actions.size(); ++i) {
        QCOMPARE(actions[i]->text(), QString::fromLatin1(actionTable[i].text));
        QCOMPARE(actions[i]->shortcut(), QKeySequence(QString::fromLatin1(actionTable[i].shortcut)));
        QVERIFY(actions[i]->isEnabled());
        QVERIFY2(!actions[i]->icon().pixmap(QSize(32, 32)).isNull(), actionTable[i].text);
    }
}

void TestMainWindowActions::MenusAndToolBarHoldActionsInOrder()
{
    QMenuBar *bar = static_cast<QMainWindow *>(fixture->Window())->menuBar();
    QCOMPARE(Texts(bar->actions()),
             (QStringList{QStringLiteral("&File"), QStringLiteral("&Actions"), QStringLiteral("&Player"), QStringLiteral("&Info")}));
    const QList<QStringList> expected = {
        {"Set &working directory", "&Clear working directory", "----", "Set &GTA Directory", "----", "&Save", "&Exit"},
        {"&Info", "&Replace", "&Export", "----", "&Find", "Find &next", "Find &previous", "----", "&Expand all"},
        {"&Play", "----", "&Stop", "&Break", "----", "Play &next", "Play &previous"},
        {"&About", "About &Qt"},
    };
    for (int i = 0; i < expected.size(); ++i) {
        QMenu *menu = bar->actions()[i]->menu<QMenu *>();
        QVERIFY(menu);
        QCOMPARE(Texts(menu->actions()), expected[i]);
    }
    // The menus hold the window's own actions, not copies.
    QVERIFY(Actions().contains(bar->actions()[1]->menu<QMenu *>()->actions().first()));

    const QList<QToolBar *> bars = fixture->Window()->findChildren<QToolBar *>();
    QCOMPARE(bars.size(), 1);
    QVERIFY(!bars.first()->isMovable());
    QCOMPARE(Texts(bars.first()->actions()),
             (QStringList{"&Save", "&Export", "&Replace", "Set &working directory", "&Clear working directory", "&Find",
                          "&Info", "----", "Play &previous", "&Stop", "&Play", "&Break", "Play &next"}));
}

void TestMainWindowActions::ShortcutsTriggerTheirActions_data()
{
    QTest::addColumn<QString>("actionText");
    for (const ActionRow &row : actionTable) {
        if (*row.shortcut)
            QTest::newRow(row.shortcut) << QString::fromLatin1(row.text);
    }
}

void TestMainWindowActions::ShortcutsTriggerTheirActions()
{
    QFETCH(QString, actionText);
    QAction *action = ActionNamed(actionText);
    QVERIFY(action);
    QSignalSpy triggered(action, &QAction::triggered);
    Press(QKeySequence(QString::fromLatin1(QTest::currentDataTag())));
    QCOMPARE(triggered.size(), 1);
}

void TestMainWindowActions::PlayerShortcutsActOnTheEntries()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    const QString folder = fixture->WorkDir() + QStringLiteral("/Sfx1/");
    fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 0));

    Press(QKeySequence(Qt::Key_Space));
    QCOMPARE(fixture->Status(), QStringLiteral("Playing file ") + folder + QStringLiteral("a1.wav"));
    Press(QKeySequence(Qt::Key_Right));
    QCOMPARE(fixture->Status(), QStringLiteral("Playing file ") + folder + QStringLiteral("a2.wav"));
    QCOMPARE(fixture->EntryView()->currentIndex(), fixture->Entry(0, 1));
    Press(QKeySequence(Qt::Key_Left));
    QCOMPARE(fixture->EntryView()->currentIndex(), fixture->Entry(0, 0));
    Press(QKeySequence(Qt::CTRL | Qt::Key_B));
    QCOMPARE(fixture->Status(), QString());
    Press(QKeySequence(Qt::Key_Space));
    QVERIFY(fixture->Player()->IsPlaying());
    Press(QKeySequence(Qt::Key_Escape));
    QVERIFY(!fixture->Player()->IsPlaying());
    QCOMPARE(fixture->Status(), QString());
}

void TestMainWindowActions::InfoAndSearchShortcutsActAnywhere()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    Press(QKeySequence(Qt::CTRL | Qt::Key_E));
    QVERIFY(fixture->EntryView()->isExpanded(fixture->Entry(-1, 1)));

    fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 0));
    Press(QKeySequence(Qt::Key_F1));
    QVERIFY(!fixture->MetaList()->isHidden());
    Press(QKeySequence(Qt::Key_F1));
    QVERIFY(fixture->MetaList()->isHidden());

    auto *edit = fixture->SearchBar()->findChild<QLineEdit *>(QStringLiteral("searchEdit"));
    edit->setText(QStringLiteral("1.wav"));
    Press(QKeySequence(Qt::CTRL | Qt::Key_F));
    QVERIFY(edit->hasFocus());
    QCOMPARE(edit->selectedText(), QStringLiteral("1.wav"));
    Press(QKeySequence(Qt::Key_F3));
    QCOMPARE(fixture->EntryView()->currentIndex(), fixture->Entry(0, 0));
    Press(QKeySequence(Qt::Key_F3));
    QCOMPARE(fixture->EntryView()->currentIndex(), fixture->Entry(1, 0));
    Press(QKeySequence(Qt::SHIFT | Qt::Key_F3));
    QCOMPARE(fixture->EntryView()->currentIndex(), fixture->Entry(0, 0));

    Press(QKeySequence(Qt::CTRL | Qt::Key_G));
    Press(QKeySequence(Qt::CTRL | Qt::Key_R));
    Press(QKeySequence(Qt::CTRL | Qt::Key_X));
    QCOMPARE(fixture->dialogs.shown.size(), 3);
    QCOMPARE(fixture->dialogs.Log()[0], QStringLiteral("chooser: Select a directory"));
    QCOMPARE(fixture->dialogs.shown[1].kind, UserDialogs::Kind::OpenFileName);
    QVERIFY(fixture->dialogs.Log()[2].startsWith(QStringLiteral("Warning: All files inside your working directory")));

    Press(QKeySequence(Qt::CTRL | Qt::Key_W));
    QVERIFY(!fixture->Window()->isVisible());
}

void TestMainWindowActions::ActionsWithoutShortcutReachTheirSlots()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 0));
    ActionNamed(QStringLiteral("&Export"))->trigger();
    ActionNamed(QStringLiteral("Set &GTA Directory"))->trigger();
    QCOMPARE(fixture->dialogs.Log(), (QStringList{QStringLiteral("chooser: Selected directory for export"),
                                                  QStringLiteral("chooser: ")}));
    QCOMPARE(fixture->dialogs.shown[1].kind, UserDialogs::Kind::ExistingDirectory);
}

QTEST_MAIN(TestMainWindowActions)
#include "tst_MainWindowActions.moc"
