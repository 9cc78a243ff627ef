#include "WindowFixture.h"
#include "game/GameFolderFinder.h"
#include "game/PathCase.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

// Game folders on Linux: found where Steam, Proton, Wine, Lutris and Bottles put them, and
// copied from Windows with names whose case differs from what configuration files and command
// lines say.
class TestGameFolder : public QObject
{
    Q_OBJECT
private slots:
    void FindsTheFirstGameFolder_data();
    void FindsTheFirstGameFolder();
    void ChooserStartsInTheFoundGameFolder();
    void ResolvesMissingPartsIgnoringCase_data();
    void ResolvesMissingPartsIgnoringCase();
};

namespace
{
bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

const QString steam = ".local/share/Steam/", flatpak = ".var/app/com.valvesoftware.Steam/.local/share/Steam/";
const QString proton = steam + "steamapps/compatdata/12120/pfx/drive_c/Program Files (x86)/Rockstar Games/GTA SA";
const QString rockstar = "/drive_c/Program Files/Rockstar Games/GTA San Andreas", other = "disk\\2/steamapps/common/GTA";
const QByteArray libraries = R"("libraryfolders" { "0" { "path" "@HOME@/.local/share/Steam" } "1" { "path" "@HOME@/disk\\2" "apps" { "12120" "1" } } })";
}

// Fake homes: each of "games" holds the game's files (cased as copied from Windows); "vdf" is
// native Steam's library list (@HOME@: the home folder), passed over when damaged. A folder with
// only audio/SFX comes first in every home and must be passed over too.
void TestGameFolder::FindsTheFirstGameFolder_data()
{
    QTest::addColumn<QStringList>("games");
    QTest::addColumn<QByteArray>("vdf");
    QTest::addColumn<QString>("expected");
    const QString common = steam + "steamapps/common/GTA", flatpakCommon = flatpak + "steamapps/common/A";
    const QString bottle = ".var/app/com.usebottles.bottles/data/bottles/bottles/b" + rockstar;
    QTest::newRow("native steam") << QStringList{common} << QByteArray() << common;
    QTest::newRow("second library") << QStringList{other} << libraries << other;
    QTest::newRow("old library list") << QStringList{other}
                                      << QByteArray(R"("LibraryFolders" { "TimeNextStatsReport" "1" "1" "@HOME@/disk\\2" })") << other;
    QTest::newRow("comments, conditions, bare tokens")
        << QStringList{other} << QByteArray("// by hand\nlibraryfolders { 1 { path \"@HOME@/disk\\\\2\" [$LINUX] } }") << other;
    QTest::newRow("unclosed block") << QStringList{other} << libraries.chopped(1) << "";
    QTest::newRow("unclosed string") << QStringList{other} << QByteArray(R"("libraryfolders" { "1" { "path" "@HOME@/disk\\2 } })") << "";
    QTest::newRow("nested too deep") << QStringList{other} << libraries.chopped(1) + QByteArray("a{").repeated(1000000) << "";
    QTest::newRow("native before flatpak") << QStringList{flatpakCommon, other} << libraries << other;
    QTest::newRow("flatpak before proton") << QStringList{proton, flatpakCommon} << QByteArray() << flatpakCommon;
    QTest::newRow("proton before wine") << QStringList{".wine/drive_c/Games/SA", proton} << QByteArray() << proton;
    QTest::newRow("wine before lutris") << QStringList{"Games/gta" + rockstar, ".wine/drive_c/Games/SA"} << QByteArray()
                                        << ".wine/drive_c/Games/SA";
    QTest::newRow("lutris before bottles") << QStringList{bottle, "Games/gta" + rockstar} << QByteArray() << "Games/gta" + rockstar;
    QTest::newRow("flatpak bottles") << QStringList{bottle} << QByteArray() << bottle;
    QTest::newRow("list is a pipe, which must not hang the search") << QStringList{common} << QByteArray("pipe") << common;
    QTest::newRow("list is a link to a device") << QStringList{common} << QByteArray("/dev/zero") << common;
    QTest::newRow("no deeper") << QStringList{".wine" + rockstar + "/copy", ".wine/drive_c/GTA"} << QByteArray() << "";
}

void TestGameFolder::FindsTheFirstGameFolder()
{
    QFETCH(QStringList, games);
    QFETCH(QByteArray, vdf);
    QFETCH(QString, expected);
    QTemporaryDir home;
    const QString root = home.path() + '/';
    QVERIFY(QDir().mkpath(root + steam + "steamapps/common/0/audio/SFX"));
    for (const QString &game : games)
        QVERIFY(QDir().mkpath(root + game + "/Audio/sfx") && WriteFile(root + game + "/Audio/CONFIG/BANKLKUP.DAT", "x"));
    const QString list = root + steam + "steamapps/libraryfolders.vdf";
    if (vdf == "pipe" || vdf.startsWith("/dev/"))
        QVERIFY(vdf == "pipe" ? mkfifo(QFile::encodeName(list).constData(), 0600) == 0 : QFile::link(vdf, list));
    else if (!vdf.isEmpty())
        QVERIFY(WriteFile(list, vdf.replace("@HOME@", home.path().toUtf8())));
    QCOMPARE(GameFolderFinder(home.path()).FindFirst(), expected.isEmpty() ? QString() : root + expected);
}

// Both ways the program asks for the game folder without one set open the chooser there.
void TestGameFolder::ChooserStartsInTheFoundGameFolder()
{
    QTemporaryDir home;
    const QString game = home.filePath(".wine/drive_c/Games/SA");
    QVERIFY(QDir().mkpath(game + "/audio/SFX") && WriteFile(game + "/audio/CONFIG/BankLkup.dat", "x"));
    const auto restoreHome = qScopeGuard([previous = qgetenv("HOME")] { qputenv("HOME", previous); });
    qputenv("HOME", home.path().toUtf8());
    WindowFixture fixture(false);
    fixture.dialogs.paths << fixture.WorkDir(); // the game-folder chooser is cancelled
    MainWindow window;
    window.SetGtaFolder();
    QCOMPARE(fixture.dialogs.Log().mid(3), (QStringList{"chooser: ", "chooser: "}));
    QCOMPARE(fixture.dialogs.shown[3].directory, game);
    QCOMPARE(fixture.dialogs.shown[4].directory, game);
}

void TestGameFolder::ResolvesMissingPartsIgnoringCase_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected"); // empty: refused as ambiguous
    QTest::newRow("rest after a missing part kept") << "audio/nothing/sfx" << "Audio/nothing/sfx";
    QTest::newRow("dot parts") << "audio/./sfx/../Sfx/genrl" << "Audio/./SFX/../SFX/GENRL";
    QTest::newRow("exact name beats twins") << "Twins/Name/x" << "Twins/Name/x";
    QTest::newRow("twins") << "twins/NAMe/x" << "";
}

void TestGameFolder::ResolvesMissingPartsIgnoringCase()
{
    QFETCH(QString, given);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    for (const char *folder : {"Audio/SFX/GENRL", "Twins/Name", "Twins/NAME"})
        QVERIFY(QDir(dir.path()).mkpath(folder));
    try {
        QCOMPARE(ResolvePathCase(dir.filePath(given)), dir.filePath(expected));
    } catch (const QString &message) {
        QVERIFY2(expected.isEmpty() && message.contains(dir.filePath("Twins/Name")) && message.contains(dir.filePath("Twins/NAME")),
                 qPrintable(message));
    }
}

QTEST_MAIN(TestGameFolder)
#include "tst_GameFolder.moc"
