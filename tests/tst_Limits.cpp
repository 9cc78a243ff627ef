// The largest files the program must read load completely, in the window as well as in the
// readers: a metafile of 1,000,000 sounds, a "configuration.ini" of 100,000 lines and a
// "MetaData.xml" of 500,000 elements. (How their load times grow is bench_Limits' subject.)
#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include "LargeInputs.h"
#include "ScriptedDialogs.h"
#include "app/MainWindow.h"
#include "metafile/IniMetafileModel.h"

class TestLimits : public QObject
{
    Q_OBJECT
private slots:
    void LoadsAMetafileOfAMillionSounds();
    void StartsWithTheLargestConfigurationAndDescriptions();

private:
    QTemporaryDir home;
};

void TestLimits::LoadsAMetafileOfAMillionSounds()
{
    const QString path = home.filePath(QStringLiteral("sfx_import.ini"));
    QVERIFY(LargeInputs::WriteSfxMetafile(path, 1000000));
    const IniMetafileModel model(IniMetafileModel::SFX, path, {});
    QCOMPARE(model.rowCount(), 1000);
    const QModelIndex lastBank = model.index(999, 0);
    QCOMPARE(lastBank.data().toString(), QStringLiteral("Bank_1000"));
    QCOMPARE(model.rowCount(lastBank), LargeInputs::soundsPerBank);
    QCOMPARE(model.index(LargeInputs::soundsPerBank - 1, 0, lastBank).data().toString(), QStringLiteral("Bank_1000/sound_1000.wav"));
}

void TestLimits::StartsWithTheLargestConfigurationAndDescriptions()
{
    const QString besideProgram = QCoreApplication::applicationDirPath();
    const QString startDirectory = QDir::currentPath();
    const auto restore = qScopeGuard([&] {
        QFile::remove(besideProgram + "/configuration.ini");
        QFile::remove(besideProgram + "/MetaData.xml");
        QDir::setCurrent(startDirectory);
    });
    QVERIFY(LargeInputs::WriteConfiguration(besideProgram + "/configuration.ini", 100000));
    QVERIFY(LargeInputs::WriteMetaData(besideProgram + "/MetaData.xml", 500000));
    QVERIFY(QDir::setCurrent(home.path()) && QDir().mkpath("work") && QDir().mkpath("gta"));
    {
        QSettings settings(QStringLiteral("settings.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("WorkingDirectory"), home.filePath(QStringLiteral("work")));
        settings.setValue(QStringLiteral("GtaDirectory"), home.filePath(QStringLiteral("gta")));
        settings.setValue(QStringLiteral("UseKivoMetadata"), false);
    }

    ScriptedDialogs dialogs;
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(dialogs.Log(), QStringList());

    // Groups of eleven lines; the last group's archives, its nested one included, all arrived.
    const QAbstractItemModel *tree = window.findChild<QTreeView *>(QStringLiteral("archiveView"))->model();
    const int groups = (100000 + 10) / 11;
    QCOMPARE(tree->rowCount(), groups);
    const QModelIndex lastGroup = tree->index(groups - 1, 0);
    QCOMPARE(lastGroup.data().toString(), QStringLiteral("GROUP_%1").arg(groups - 1));
    QVERIFY(tree->rowCount(lastGroup) > 0);
}

QTEST_MAIN(TestLimits)
#include "tst_Limits.moc"
