// Small files built to hurt: each must be read in bounded time and memory, with what it really
// holds and without a crash. The cases are the ones fuzzing and hand probing turned up.
#include <QTemporaryDir>
#include <QtTest>

#include "GameAudioFiles.h"
#include "ScriptedDialogs.h"
#include "metafile/IniMetafileModel.h"
#include "tree/TreeModel.h"
#include "tree/XmlMetaData.h"

using GameAudioFiles::WriteFile;

namespace
{
// An SFX metafile of banks that each claim 99,999 sounds.
QByteArray BanksClaimingSounds(int hostile, const QByteArray &keysOfEachBank)
{
    QByteArray text = "[Archive]\nbasename=GENRL\nnum_banks=" + QByteArray::number(hostile) + "\n";
    for (int bank = 1; bank <= hostile; ++bank)
        text += "[Bank_" + QByteArray::number(bank).rightJustified(3, '0') + "]\nnum_sounds=99999\n" + keysOfEachBank;
    return text;
}
}

class TestHostileInput : public QObject
{
    Q_OBJECT
private slots:
    void MakesNoMoreThanAHundredThousandEmptyRows_data();
    void MakesNoMoreThanAHundredThousandEmptyRows();
    void JoinsLongStationLinesWithoutTheirLineEnds_data();
    void JoinsLongStationLinesWithoutTheirLineEnds();
    void RefusesNestedEntitiesInDescriptions();

private:
    QTemporaryDir folder;
};

void TestHostileInput::MakesNoMoreThanAHundredThousandEmptyRows_data()
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

void TestHostileInput::MakesNoMoreThanAHundredThousandEmptyRows()
{
    QFETCH(QByteArray, content);
    QFETCH(int, soundRows);
    QFETCH(QString, lastRowName);
    const QString path = folder.filePath(QStringLiteral("sfx_import.ini"));
    QVERIFY(WriteFile(path, content));
    const IniMetafileModel model(IniMetafileModel::SFX, path, {});
    int rows = 0;
    for (int bank = 0; bank < model.rowCount(); ++bank)
        rows += model.rowCount(model.index(bank, 0));
    QCOMPARE(rows, soundRows);
    const QModelIndex lastBank = model.index(model.rowCount() - 1, 0);
    QCOMPARE(model.index(model.rowCount(lastBank) - 1, 0, lastBank).data().toString(), lastRowName);
}

void TestHostileInput::JoinsLongStationLinesWithoutTheirLineEnds_data()
{
    QTest::addColumn<int>("lineLength");
    // Long lines are read in pieces of 65,536 characters; a "\r\n" may fall between two.
    for (const int length : {65535, 65536, 65537, 131071})
        QTest::addRow("%d characters", length) << length;
}

void TestHostileInput::JoinsLongStationLinesWithoutTheirLineEnds()
{
    QFETCH(int, lineLength);
    const QByteArray prefix = "stream = ";
    const QByteArray name(lineLength - prefix.size(), 'N');
    const QString path = folder.filePath(QStringLiteral("metadata-full.ini"));
    QVERIFY(WriteFile(path, prefix + name + "\r\nstation = Radio\r\nstream = AA\r\nstation = " + name + "\r\n"));
    const QMap<QString, QString> stations = TreeModel::ReadStationNames(path);
    QCOMPARE(stations.size(), 2);
    QCOMPARE(stations.value(QString::fromLatin1(name)), QStringLiteral("Radio"));
    QCOMPARE(stations.value(QStringLiteral("AA")), QString::fromLatin1(name));
}

void TestHostileInput::RefusesNestedEntitiesInDescriptions()
{
    // Each level holds ten of the one below: a billion copies of "ha" if all were expanded.
    QByteArray declarations = "<!ENTITY e0 \"ha\">";
    for (int level = 1; level <= 9; ++level) {
        declarations += "<!ENTITY e" + QByteArray::number(level) + " \"";
        for (int copy = 0; copy < 10; ++copy)
            declarations += "&e" + QByteArray::number(level - 1) + ";";
        declarations += "\">";
    }
    const QString path = folder.filePath(QStringLiteral("MetaData.xml"));
    QVERIFY(WriteFile(path, "<?xml version=\"1.0\"?>\n<!DOCTYPE Root [" + declarations + "]>\n<Root>"
                            "<InfoData Id=\"1\" Text=\"&e9;\"/><MetaData VirtualPath=\"p\" InfoDataItemId=\"1\"/></Root>\n"));
    ScriptedDialogs dialogs;
    const XmlMetaData metaData = ReadMetaData(path);
    QCOMPARE(dialogs.shown.size(), 1);
    QCOMPARE(dialogs.shown.constFirst().title, QStringLiteral("Error in Xml-File"));
    QVERIFY(metaData.textsById.isEmpty() && metaData.idsByPath.isEmpty());
}

QTEST_MAIN(TestHostileInput)
#include "tst_HostileInput.moc"
