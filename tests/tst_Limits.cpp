// The largest files the program must read load completely, and small files built to hurt are read
// in bounded time and memory with what they really hold: the cases fuzzing and hand probing found.
// (How load times grow is bench_Limits' subject.)
#include "LargeInputs.h"
#include "ScratchFiles.h"
#include "WindowFixture.h"
#include "metafile/IniMetafileModel.h"
#include "tree/TreeModel.h"
#include "tree/XmlMetaData.h"

namespace
{
// An SFX metafile of banks that each claim 99,999 sounds.
QByteArray BanksClaimingSounds(int banks, const QByteArray &keysOfEachBank)
{
    QByteArray text = "[Archive]\nbasename=GENRL\nnum_banks=" + QByteArray::number(banks) + "\n";
    for (int bank = 1; bank <= banks; ++bank)
        text += "[Bank_" + QByteArray::number(bank).rightJustified(3, '0') + "]\nnum_sounds=99999\n" + keysOfEachBank;
    return text;
}
}

class TestLimits : public QObject
{
    Q_OBJECT
private slots:
    void LoadsAMetafileOfAMillionSounds()
    {
        const QString path = files.Path(QStringLiteral("sfx_import.ini"));
        QVERIFY(LargeInputs::WriteSfxMetafile(path, 1000000));
        const IniMetafileModel model(IniMetafileModel::SFX, path, {});
        QCOMPARE(model.rowCount(), 1000);
        const QModelIndex lastBank = model.index(999, 0);
        QCOMPARE(lastBank.data().toString(), QStringLiteral("Bank_1000"));
        QCOMPARE(model.rowCount(lastBank), LargeInputs::soundsPerBank);
        QCOMPARE(model.index(LargeInputs::soundsPerBank - 1, 0, lastBank).data().toString(),
                 QStringLiteral("Bank_1000/sound_1000.wav"));
    }

    void StartsWithTheLargestConfigurationAndDescriptions()
    {
        WindowFixture fixture;
        fixture.WriteSettings({{"UseKivoMetadata", false}});
        QVERIFY(LargeInputs::WriteConfiguration(fixture.Beside("configuration.ini"), 100000));
        QVERIFY(LargeInputs::WriteMetaData(fixture.Beside("MetaData.xml"), 500000));
        MainWindow *window = fixture.Open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(fixture.dialogs.Log(), QStringList());
        // Groups of eleven lines; the last group's archives, its nested one included, all arrived.
        const QAbstractItemModel *tree = fixture.ArchiveView()->model();
        const int groups = (100000 + 10) / 11;
        QCOMPARE(tree->rowCount(), groups);
        const QModelIndex lastGroup = tree->index(groups - 1, 0);
        QCOMPARE(lastGroup.data().toString(), QStringLiteral("GROUP_%1").arg(groups - 1));
        QVERIFY(tree->rowCount(lastGroup) > 0);
    }

    void MakesNoMoreThanAHundredThousandEmptyRows_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("soundRows");
        QTest::addColumn<QString>("lastRowName");  // of the last bank
        // 28 KB that asked for a hundred million rows (ten gigabytes and more than a minute).
        QTest::newRow("999 banks claiming 99,999 sounds") << BanksClaimingSounds(999, {}) << 99999 << QString();
        // The first bank takes the empty rows; every later one lists its one sound with a key.
        QTest::newRow("999 banks keying their last sound")
            << BanksClaimingSounds(999, "sound_99999.filename=last.wav\n") << 99999 + 998 << QStringLiteral("last.wav");
    }
    void MakesNoMoreThanAHundredThousandEmptyRows()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, soundRows);
        QFETCH(QString, lastRowName);
        const IniMetafileModel model(IniMetafileModel::SFX, files.Write(content), {});
        int rows = 0;
        for (int bank = 0; bank < model.rowCount(); ++bank)
            rows += model.rowCount(model.index(bank, 0));
        QCOMPARE(rows, soundRows);
        const QModelIndex lastBank = model.index(model.rowCount() - 1, 0);
        QCOMPARE(model.index(model.rowCount(lastBank) - 1, 0, lastBank).data().toString(), lastRowName);
    }

    void JoinsLongStationLinesWithoutTheirLineEnds_data()
    {
        QTest::addColumn<int>("lineLength");
        // Long lines are read in pieces of 65,536 characters; a "\r\n" may fall between two.
        for (const int length : {65535, 65536, 65537, 131071})
            QTest::addRow("%d characters", length) << length;
    }
    void JoinsLongStationLinesWithoutTheirLineEnds()
    {
        QFETCH(int, lineLength);
        const QByteArray prefix = "stream = ";
        const QByteArray name(lineLength - prefix.size(), 'N');
        const QMap<QString, QString> stations = TreeModel::ReadStationNames(
            files.Write(prefix + name + "\r\nstation = Radio\r\nstream = AA\r\nstation = " + name + "\r\n"));
        QCOMPARE(stations.size(), 2);
        QCOMPARE(stations.value(QString::fromLatin1(name)), QStringLiteral("Radio"));
        QCOMPARE(stations.value(QStringLiteral("AA")), QString::fromLatin1(name));
    }

    void RefusesNestedEntitiesInDescriptions()
    {
        // Each level holds ten of the one below: a billion copies of "ha" if all were expanded.
        QByteArray declarations = "<!ENTITY e0 \"ha\">";
        for (int level = 1; level <= 9; ++level)
            declarations += "<!ENTITY e" + QByteArray::number(level) + " \""
                          + QByteArray("&e" + QByteArray::number(level - 1) + ";").repeated(10) + "\">";
        ScriptedDialogs dialogs;
        const XmlMetaData metaData = ReadMetaData(files.Write(
            "<?xml version=\"1.0\"?>\n<!DOCTYPE Root [" + declarations + "]>\n<Root><InfoData Id=\"1\" Text=\"&e9;\"/>"
            "<MetaData VirtualPath=\"p\" InfoDataItemId=\"1\"/></Root>\n"));
        QCOMPARE(dialogs.Log().size(), 1);
        QCOMPARE(dialogs.shown.constFirst().title, QStringLiteral("Error in Xml-File"));
        QVERIFY(metaData.textsById.isEmpty() && metaData.idsByPath.isEmpty());
    }

private:
    ScratchFiles files;
};

QTEST_MAIN(TestLimits)
#include "tst_Limits.moc"
