// The largest files the program must read load completely, in the window as well as in the
// readers: a metafile of 1,000,000 sounds, a "configuration.ini" of 100,000 lines and a
// "MetaData.xml" of 500,000 elements. (How their load times grow is bench_Limits' subject.)
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include "LargeInputs.h"
#include "ScriptedDialogs.h"
#include "app/MainWindow.h"
#include "metafile/IniMetafileModel.h"
#include "tree/TreeModel.h"

namespace
{
constexpr int metafileSounds = 1000000;
constexpr int configurationLines = 100000;
constexpr int metaDataElements = 500000;

QString BesideProgram(const QString &name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}
}

class TestLimits : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void LoadsAMetafileOfAMillionSounds();
    void StartsWithTheLargestConfigurationAndDescriptions();

private:
    std::unique_ptr<QTemporaryDir> home;
    QString startDirectory;
};

void TestLimits::init()
{
    startDirectory = QDir::currentPath();
    home = std::make_unique<QTemporaryDir>();
    QVERIFY(home->isValid());
    QVERIFY(QDir::setCurrent(home->path()));
}

void TestLimits::cleanup()
{
    for (const char *name : {"configuration.ini", "MetaData.xml"})
        QFile::remove(BesideProgram(QString::fromLatin1(name)));
    QDir::setCurrent(startDirectory);
    home.reset();
}

void TestLimits::LoadsAMetafileOfAMillionSounds()
{
    const QString path = home->filePath(QStringLiteral("sfx_import.ini"));
    QVERIFY(LargeInputs::WriteSfxMetafile(path, metafileSounds));
    QElapsedTimer clock;
    clock.start();
    const IniMetafileModel model(IniMetafileModel::SFX, path, {});
    qInfo("a metafile of %d sounds loaded in %lld ms", metafileSounds, clock.elapsed());
    const int banks = metafileSounds / LargeInputs::soundsPerBank;
    QCOMPARE(model.rowCount(), banks);
    const QModelIndex lastBank = model.index(banks - 1, 0);
    QCOMPARE(lastBank.data().toString(), QStringLiteral("Bank_1000"));
    QCOMPARE(model.rowCount(lastBank), LargeInputs::soundsPerBank);
    QCOMPARE(model.index(LargeInputs::soundsPerBank - 1, 0, lastBank).data().toString(),
             QStringLiteral("Bank_1000/sound_1000.wav"));
}

void TestLimits::StartsWithTheLargestConfigurationAndDescriptions()
{
    QVERIFY(LargeInputs::WriteConfiguration(BesideProgram(QStringLiteral("configuration.ini")), configurationLines));
    QVERIFY(LargeInputs::WriteMetaData(BesideProgram(QStringLiteral("MetaData.xml")), metaDataElements));
    QDir(home->path()).mkpath(QStringLiteral("work"));
    QDir(home->path()).mkpath(QStringLiteral("gta"));
    QSettings settings(QStringLiteral("settings.ini"), QSettings::IniFormat);
    settings.setValue(QStringLiteral("WorkingDirectory"), home->filePath(QStringLiteral("work")));
    settings.setValue(QStringLiteral("GtaDirectory"), home->filePath(QStringLiteral("gta")));
    settings.setValue(QStringLiteral("UseKivoMetadata"), false);
    settings.sync();

    ScriptedDialogs dialogs;
    QElapsedTimer clock;
    clock.start();
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    qInfo("the window started with %d configuration lines and %d descriptions in %lld ms",
          configurationLines, metaDataElements, clock.elapsed());
    QCOMPARE(dialogs.Log(), QStringList());

    const auto *archiveView = window.findChild<QTreeView *>(QStringLiteral("archiveView"));
    QVERIFY(archiveView && archiveView->model());
    const QAbstractItemModel *tree = archiveView->model();
    const int groups = (configurationLines + 10) / 11;
    QCOMPARE(tree->rowCount(), groups);
    QVERIFY(archiveView->isExpanded(tree->index(groups - 1, 0)));
    // The last group's archives, its nested one included, all arrived.
    const QModelIndex lastGroup = tree->index(groups - 1, 0);
    QCOMPARE(lastGroup.data().toString(), QStringLiteral("GROUP_%1").arg(groups - 1));
    QVERIFY(tree->rowCount(lastGroup) > 0);
}

QTEST_MAIN(TestLimits)
#include "tst_Limits.moc"
