#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "Sanitized.h"
#include "metafile/IniFile.h"

namespace {

// Peak resident memory in bytes since the last ResetPeakMemory(); -1 where Linux does not tell.
qint64 PeakMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

bool ResetPeakMemory()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private slots:
    void ReadsValuesByTheToolkitsSyntax_data();
    void ReadsValuesByTheToolkitsSyntax();
    void DecidesWhichSectionsExist_data();
    void DecidesWhichSectionsExist();
    void KeepsLineEndsAfterUndecodableBytes_data();
    void KeepsLineEndsAfterUndecodableBytes();
    void HonoursByteOrderMarks_data();
    void HonoursByteOrderMarks();
    void MergesRepeatedSections_data();
    void MergesRepeatedSections();
    void KeepsHandedOutValuesValid();
    void ReportsAFileThatCannotBeOpened();
    void SurvivesBinaryGarbage();
    void ReadsOneEnormousLineWithoutHoldingItMany();

private:
    QString Write(const QByteArray &content);
    QTemporaryDir dir;
    int fileCount = 0;
};

QString TestIniFile::Write(const QByteArray &content)
{
    const QString path = dir.filePath(QStringLiteral("file%1.ini").arg(++fileCount));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestIniFile::ReadsValuesByTheToolkitsSyntax_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("key and value trimmed") << QByteArray("[Archive]\n  basename =  abc \t \n")
                                           << "Archive" << "basename" << "abc";
    QTest::newRow("blanks inside a value kept") << QByteArray("[A]\nk = a  b \n") << "A" << "k" << "a  b";
    QTest::newRow("split at the first =") << QByteArray("[A]\nfilename=a=b.wav\n") << "A" << "filename" << "a=b.wav";
    QTest::newRow("empty value") << QByteArray("[A]\nk=\nj=1\n") << "A" << "k" << "";
    QTest::newRow("later key wins") << QByteArray("[A]\nk=1\nk=2\n") << "A" << "k" << "2";
    QTest::newRow("names are case-sensitive") << QByteArray("[A]\nKey=1\n") << "A" << "key" << "";
    QTest::newRow("blank-padded header is another section") << QByteArray("[ A ]\nk=1\n") << "A" << "k" << "";
    QTest::newRow("indented header is no header") << QByteArray("[A]\nk=1\n  [B]\nj=2\n") << "A" << "j" << "2";
    QTest::newRow("header with a trailing blank is no header") << QByteArray("[A]\n[B] \nj=2\n") << "A" << "j" << "2";
    QTest::newRow("header holding =") << QByteArray("[a=b]\nk=1\n") << "a=b" << "k" << "1";
    QTest::newRow("keys before the first header") << QByteArray("k=1\n[A]\nj=2\n") << "A" << "k" << "1";
    QTest::newRow("keys without any header") << QByteArray("k=1\n") << "" << "k" << "1";
    QTest::newRow("no unnamed section beside headers") << QByteArray("k=1\n[A]\n") << "" << "k" << "";
    QTest::newRow("semicolon line with = is a key") << QByteArray("[A]\n;k=1\n") << "A" << ";k" << "1";
    QTest::newRow("empty key ignored") << QByteArray("[A]\n = 5\nk=1\n") << "A" << "" << "";
    QTest::newRow("CRLF line ends") << QByteArray("[A]\r\nk=1\r\n") << "A" << "k" << "1";
    QTest::newRow("last line without line end") << QByteArray("[A]\nk=1") << "A" << "k" << "1";
    QTest::newRow("keyless header hands keys on") << QByteArray("[A]\n[B]\nk=1\n") << "B" << "k" << "1";
    QTest::newRow("UTF-8 value") << QByteArray("[A]\nname=caf\xc3\xa9\n") << "A" << "name" << QString::fromUtf8("caf\xc3\xa9");
    QTest::newRow("undecodable bytes replaced") << QByteArray("[A]\nname=x\xff\xfe\n") << "A" << "name"
                                                << QStringLiteral("x\uFFFD\uFFFD");
    QTest::newRow("stray carriage return dropped") << QByteArray("[A]\nk=a\rb\n") << "A" << "k" << "ab";
    QTest::newRow("missing section") << QByteArray("[A]\nk=1\n") << "B" << "k" << "";
}

void TestIniFile::ReadsValuesByTheToolkitsSyntax()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    IniFile ini;
    QVERIFY(ini.Load(Write(content)));
    QCOMPARE(ini.GetValue(section, key), expected);
}

void TestIniFile::DecidesWhichSectionsExist_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QStringList>("missing");

    QTest::newRow("keyless section followed by a header")
        << QByteArray("[Bank_001]\nnum_sounds=1\n[Bank_002]\n[Bank_003]\nnum_sounds=1\n")
        << QStringList{"Bank_001", "Bank_003"} << QStringList{"Bank_002"};
    QTest::newRow("keyless last section")
        << QByteArray("[Bank_001]\nnum_sounds=1\n[Bank_002]\n")
        << QStringList{"Bank_001", "Bank_002"} << QStringList();
    QTest::newRow("only ignored lines do not make keys")
        << QByteArray("[A]\n = 1\n  \n;note\n[B]\nk=1\n")
        << QStringList{"B"} << QStringList{"A"};
    QTest::newRow("empty header name") << QByteArray("[]\nk=1\n") << QStringList{""} << QStringList();
    QTest::newRow("unnamed section is no section") << QByteArray("k=1\n") << QStringList() << QStringList{""};
    QTest::newRow("lone bracket lines") << QByteArray("[\n]\n[A]\nk=1\n")
                                        << QStringList{"A"} << QStringList{"", "[", "]"};
}

void TestIniFile::DecidesWhichSectionsExist()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, existing);
    QFETCH(QStringList, missing);
    IniFile ini;
    QVERIFY(ini.Load(Write(content)));
    for (const QString &section : existing)
        QVERIFY2(ini.HasSection(section), qPrintable(section));
    for (const QString &section : missing)
        QVERIFY2(!ini.HasSection(section), qPrintable(section));
    QStringList names = ini.SectionNames();
    names.sort();
    existing.sort();
    QCOMPARE(names, existing);
}

void TestIniFile::KeepsLineEndsAfterUndecodableBytes_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("unfinished");
    // An unfinished character ending the first offset bytes, right before a line end, wherever
    // the reading happens to pause.
    for (const int offset : {100, 4096, 16384, 65536, 65537, 131072}) {
        for (const QByteArray &unfinished : {QByteArray("\xe4"), QByteArray("\xc3"), QByteArray("\xf0\x9f")}) {
            QTest::addRow("%s at %d", unfinished.toHex().constData(), offset) << offset << unfinished;
        }
    }
}

void TestIniFile::KeepsLineEndsAfterUndecodableBytes()
{
    QFETCH(int, offset);
    QFETCH(QByteArray, unfinished);
    QByteArray content = "[A]\nlong=" + QByteArray(offset - 9 - unfinished.size(), 'x') + unfinished;
    QCOMPARE(content.size(), offset);
    content += "\n[B]\nk=1\n";
    IniFile ini;
    QVERIFY(ini.Load(Write(content)));
    QCOMPARE(ini.GetValue(QStringLiteral("B"), QStringLiteral("k")), QStringLiteral("1"));
    QVERIFY(ini.GetValue(QStringLiteral("A"), QStringLiteral("long")).endsWith(QChar::ReplacementCharacter));
}

void TestIniFile::HonoursByteOrderMarks_data()
{
    QTest::addColumn<QByteArray>("content");
    const QString text = QStringLiteral("[Archive]\r\nbasename=caf\u00e9\r\n");
    QTest::newRow("UTF-8") << QByteArray("\xef\xbb\xbf" + text.toUtf8());
    QByteArray utf16("\xff\xfe");
    for (const QChar c : text)
        utf16 += char(c.unicode() & 0xff) + QByteArray(1, char(c.unicode() >> 8));
    QTest::newRow("UTF-16 little endian") << utf16;
}

void TestIniFile::HonoursByteOrderMarks()
{
    QFETCH(QByteArray, content);
    IniFile ini;
    QVERIFY(ini.Load(Write(content)));
    QCOMPARE(ini.GetValue(QStringLiteral("Archive"), QStringLiteral("basename")), QStringLiteral("caf\u00e9"));
}

void TestIniFile::MergesRepeatedSections_data()
{
    QTest::addColumn<int>("keyCount");
    // Small sections are searched key by key, large ones through an index built on the way.
    QTest::newRow("few keys") << 3;
    QTest::newRow("many keys") << 60;
}

void TestIniFile::MergesRepeatedSections()
{
    QFETCH(int, keyCount);
    // Section A comes three times, B in between; every pass sets some keys anew and adds some.
    QByteArray content;
    QMap<QString, QString> expected;
    for (int pass = 0; pass < 3; ++pass) {
        content += "[A]\n";
        for (int key = pass * keyCount / 2; key < pass * keyCount / 2 + keyCount; ++key) {
            const QString value = QStringLiteral("%1-%2").arg(key).arg(pass);
            content += QStringLiteral("k%1=%2\n").arg(key).arg(value).toLatin1();
            expected.insert(QStringLiteral("k%1").arg(key), value);
        }
        content += "[B]\nx=1\n";
    }
    IniFile ini;
    QVERIFY(ini.Load(Write(content)));
    const int section = ini.FindSection(QStringLiteral("A"));
    QVERIFY(section >= 0);
    QCOMPARE(ini.KeyCount(section), int(expected.size()));
    QMap<QString, QString> visited;
    ini.ForEachKey(section, [&](const QString &key, const IniFile::ValueView &value) {
        QVERIFY2(!visited.contains(key), qPrintable(key));
        QCOMPARE(value.ToString(), value.text.toString());
        visited.insert(key, value.ToString());
    });
    QCOMPARE(visited, expected);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        QCOMPARE(ini.GetValue(QStringLiteral("A"), it.key()), it.value());
        QCOMPARE(ini.GetText(section, ini.FindKey(it.key())).toString(), it.value());
    }
    QCOMPARE(ini.GetValue(QStringLiteral("B"), QStringLiteral("k0")), QString());
}

void TestIniFile::KeepsHandedOutValuesValid()
{
    // Short values are stored without strings of their own and get one only when asked for.
    QByteArray content = "[A]\nshort=1\nlong=a value longer than a number\n";
    for (int key = 0; key < 500; ++key)
        content += QByteArray("k") + QByteArray::number(key) + "=" + QByteArray::number(key) + "\n";
    IniFile ini;
    QVERIFY(ini.Load(Write(content)));
    const QString section = QStringLiteral("A");
    const QString &shortValue = ini.GetValue(section, QStringLiteral("short"));
    const QString &longValue = ini.GetValue(section, QStringLiteral("long"));
    for (int key = 0; key < 500; ++key)
        QCOMPARE(ini.GetValue(section, QStringLiteral("k%1").arg(key)), QString::number(key));
    QCOMPARE(shortValue, QStringLiteral("1"));
    QCOMPARE(longValue, QStringLiteral("a value longer than a number"));
    QCOMPARE(&ini.GetValue(section, QStringLiteral("short")), &shortValue);
}

void TestIniFile::ReportsAFileThatCannotBeOpened()
{
    IniFile ini;
    QVERIFY(!ini.Load(dir.filePath(QStringLiteral("missing.ini"))));
    QVERIFY(!ini.HasSection(QString()));
    QCOMPARE(ini.GetValue(QString(), QStringLiteral("k")), QString());
    QVERIFY(ini.SectionNames().isEmpty());
}

void TestIniFile::SurvivesBinaryGarbage()
{
    QRandomGenerator random(20240601);
    QByteArray garbage(4 << 20, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
    // Readable lines after the garbage must still be found: the garbage may not swallow them.
    garbage += "\n[Archive]\nbasename=after\n";
    IniFile ini;
    QVERIFY(ini.Load(Write(garbage)));
    QCOMPARE(ini.GetValue(QStringLiteral("Archive"), QStringLiteral("basename")), QStringLiteral("after"));
}

void TestIniFile::ReadsOneEnormousLineWithoutHoldingItMany()
{
    const qsizetype length = 50 << 20;
    QByteArray content = "[Archive]\nbasename= ";
    content += QByteArray(length, 'a');
    content += " \n";
    const QString path = Write(content);
    content.clear();
    content.squeeze();

    const bool bPeakKnown = ResetPeakMemory();
    const qint64 peakBefore = PeakMemory();
    {
        IniFile ini;
        QVERIFY(ini.Load(path));
        QCOMPARE(ini.GetValue(QStringLiteral("Archive"), QStringLiteral("basename")).size(), length);
    }
    if (!bPeakKnown || peakBefore < 0)
        QSKIP("peak memory cannot be measured here");
    if (bSanitized)
        QSKIP("the address sanitizer keeps freed memory and so distorts the peak");
    // Decoded, the line takes two bytes a character: that one copy is unavoidable, a second one
    // (the stream's buffer, or the value copied out of the line) is not.
    const qint64 growth = PeakMemory() - peakBefore;
    QVERIFY2(growth < 3 * length, qPrintable(QStringLiteral("peak grew by %1 MB").arg(growth >> 20)));
}

QTEST_MAIN(TestIniFile)
#include "tst_IniFile.moc"
