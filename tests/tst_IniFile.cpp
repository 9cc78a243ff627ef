#include <QRandomGenerator>
#include <QtTest>

#include "ScratchFiles.h"
#include "Sanitized.h"
#include "format/Metafile.h"
#include "metafile/IniFile.h"

class TestIniFile : public QObject
{
    Q_OBJECT
    ScratchFiles files;
    // A loaded file; the test fails when it cannot be loaded.
    std::unique_ptr<IniFile> Load(const QByteArray &content)
    {
        auto ini = std::make_unique<IniFile>();
        return ini->Load(files.Write(content)) ? std::move(ini) : nullptr;
    }

private slots:
    void ReadsValuesByTheToolkitsSyntax_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QByteArray &content, const char *section, const char *key,
                            const QString &expected) { QTest::newRow(name) << content << section << key << expected; };
        row("key and value trimmed", "[Archive]\n  basename =  abc \t \n", "Archive", "basename", "abc");
        row("blanks inside a value kept", "[A]\nk = a  b \n", "A", "k", "a  b");
        row("split at the first =", "[A]\nfilename=a=b.wav\n", "A", "filename", "a=b.wav");
        row("later key wins", "[A]\nk=1\nk=2\n", "A", "k", "2");
        row("blank-padded header is another section", "[ A ]\nk=1\n", "A", "k", "");
        row("indented header is no header", "[A]\nk=1\n  [B]\nj=2\n", "A", "j", "2");
        row("header with a trailing blank is no header", "[A]\n[B] \nj=2\n", "A", "j", "2");
        row("keys before the first header", "k=1\n[A]\nj=2\n", "A", "k", "1");
        row("no unnamed section beside headers", "k=1\n[A]\n", "", "k", "");
        row("semicolon line with = is a key", "[A]\n;k=1\n", "A", ";k", "1");
        row("empty key ignored", "[A]\n = 5\nk=1\n", "A", "", "");
        row("CRLF line ends", "[A]\r\nk=1\r\n", "A", "k", "1");
        row("last line without line end", "[A]\nk=1", "A", "k", "1");
        row("keyless header hands keys on", "[A]\n[B]\nk=1\n", "B", "k", "1");
        row("undecodable bytes replaced", "[A]\nname=x\xff\xfe\n", "A", "name", QStringLiteral("x\uFFFD\uFFFD"));
        row("stray carriage return dropped", "[A]\nk=a\rb\n", "A", "k", "ab");
        row("carriage returns around a header", "[A]\r\r\nk=1\r\r\n", "A", "k", "1");
        row("Unicode blanks trimmed", "[A]\nk\xe3\x80\x80=\xc2\xa0x.wav\xc2\xa0\xe2\x80\x89\n", "A", "k", "x.wav");
        row("no-width space is no blank", "[A]\nk=x.wav\xe2\x80\x8b\n", "A", "k", QStringLiteral("x.wav\u200b"));
        row("broken and overlong sequences", "[A]\nk=\xe2\x82 \xc0\xaf\xed\xa0\x80\xf0\x9f\x98\x80\n", "A", "k",
            QStringLiteral("\uFFFD\uFFFD \uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\U0001F600"));
        row("byte order mark inside a value kept", "[A]\nk=a\xef\xbb\xbf\n", "A", "k", QStringLiteral("a\uFEFF"));
        const QString text = QStringLiteral("[Archive]\r\nbasename=caf\u00e9\r\n");
        row("UTF-8 byte order mark", "\xef\xbb\xbf" + text.toUtf8(), "Archive", "basename", QStringLiteral("caf\u00e9"));
        QByteArray utf16("\xff\xfe");
        for (const QChar c : text)
            utf16 += char(c.unicode() & 0xff) + QByteArray(1, char(c.unicode() >> 8));
        row("UTF-16 little endian", utf16, "Archive", "basename", QStringLiteral("caf\u00e9"));
        QByteArray utf32("\0\0\xfe\xff", 4);
        for (const char32_t c : text.toUcs4())
            utf32 += QByteArray(3, '\0') + char(c);
        row("UTF-32 big endian", utf32, "Archive", "basename", QStringLiteral("caf\u00e9"));
        // Readable lines after garbage must still be found: the garbage may not swallow them.
        QRandomGenerator random(20240601);
        QByteArray garbage(4 << 20, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
        row("after binary garbage", garbage + "\n[Archive]\nbasename=after\n", "Archive", "basename", "after");
        row("one enormous line", "[A]\nk= " + QByteArray(longLine, 'a') + " \n", "A", "k", QString(longLine, QLatin1Char('a')));
    }
    // The program and the tools must read the same metafile alike: a value read otherwise by one
    // of them plays one file while the other packs another.
    void ReadsValuesByTheToolkitsSyntax()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const QString path = files.Write(content);
        IniFile ini;
        QVERIFY(ini.Load(path));
        QCOMPARE(ini.GetValue(section, key), expected);
        const auto metafile = kivo::Metafile::Load(path.toStdString());
        const std::string *value = metafile.Find(section.toStdString(), key.toStdString());
        // As bytes: they name the files the tools open.
        QCOMPARE(value ? QByteArray::fromStdString(*value) : QByteArray(), expected.toUtf8());
    }

    void DecidesWhichSectionsExist_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QStringList>("missing");
        QTest::newRow("keyless section followed by a header")
            << QByteArray("[Bank_001]\nnum_sounds=1\n[Bank_002]\n[Bank_003]\nnum_sounds=1\n")
            << QStringList{"Bank_001", "Bank_003"} << QStringList{"Bank_002"};
        QTest::newRow("keyless last section") << QByteArray("[Bank_001]\nnum_sounds=1\n[Bank_002]\n")
                                              << QStringList{"Bank_001", "Bank_002"} << QStringList();
        QTest::newRow("only ignored lines do not make keys") << QByteArray("[A]\n = 1\n  \n;note\n[B]\nk=1\n")
                                                             << QStringList{"B"} << QStringList{"A"};
        QTest::newRow("empty header name") << QByteArray("[]\nk=1\n") << QStringList{""} << QStringList();
        QTest::newRow("unnamed section is no section") << QByteArray("k=1\n") << QStringList() << QStringList{""};
        QTest::newRow("lone bracket lines") << QByteArray("[\n]\n[A]\nk=1\n") << QStringList{"A"} << QStringList{"", "[", "]"};
    }
    void DecidesWhichSectionsExist()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, existing);
        QFETCH(QStringList, missing);
        const auto ini = Load(content);
        QVERIFY(ini);
        for (const QString &section : existing)
            QVERIFY2(ini->HasSection(section), qPrintable(section));
        for (const QString &section : missing)
            QVERIFY2(!ini->HasSection(section), qPrintable(section));
        QStringList names = ini->SectionNames();
        names.sort();
        existing.sort();
        QCOMPARE(names, existing);
    }

    void KeepsLineEndsAfterUndecodableBytes_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("unfinished");
        // An unfinished character ending the first offset bytes, right before a line end, wherever
        // the reading happens to pause.
        for (const int offset : {100, 16384, 65537})
            for (const QByteArray &unfinished : {QByteArray("\xe4"), QByteArray("\xc3"), QByteArray("\xf0\x9f")})
                QTest::addRow("%s at %d", unfinished.toHex().constData(), offset) << offset << unfinished;
    }
    void KeepsLineEndsAfterUndecodableBytes()
    {
        QFETCH(int, offset);
        QFETCH(QByteArray, unfinished);
        const QByteArray content = "[A]\nlong=" + QByteArray(offset - 9 - unfinished.size(), 'x') + unfinished;
        QCOMPARE(content.size(), offset);
        const auto ini = Load(content + "\n[B]\nk=1\n");
        QVERIFY(ini);
        QCOMPARE(ini->GetValue(QStringLiteral("B"), QStringLiteral("k")), QStringLiteral("1"));
        QVERIFY(ini->GetValue(QStringLiteral("A"), QStringLiteral("long")).endsWith(QChar::ReplacementCharacter));
    }

    void MergesRepeatedSections()
    {
        // Section A comes three times, B in between; every pass sets some keys anew and adds some.
        QByteArray content;
        QHash<QString, QString> expected;
        for (int pass = 0; pass < 3; ++pass) {
            content += "[A]\n";
            for (int key = pass * 2; key < pass * 2 + 4; ++key) {
                const QString value = QStringLiteral("%1-%2").arg(key).arg(pass);
                content += QStringLiteral("k%1=%2\n").arg(key).arg(value).toLatin1();
                expected.insert(QStringLiteral("k%1").arg(key), value);
            }
            content += "[B]\nx=1\n";
        }
        const auto ini = Load(content);
        QVERIFY(ini);
        const IniFile::Section *section = ini->FindSection(u"A");
        QVERIFY(section);
        QHash<QString, QString> read;
        for (const IniFile::Entry &entry : *section)
            QVERIFY2(!read.contains(entry.key.toString()), "a key listed twice");
        for (const IniFile::Entry &entry : *section)
            read.insert(entry.key.toString(), entry.value.toString());
        QCOMPARE(read, expected);
        QCOMPARE(ini->GetValue(QStringLiteral("B"), QStringLiteral("x")), QStringLiteral("1"));
        QCOMPARE(ini->GetValue(QStringLiteral("B"), QStringLiteral("k0")), QString());
    }

    void ReportsAFileThatCannotBeOpened()
    {
        IniFile ini;
        QVERIFY(!ini.Load(files.Path(QStringLiteral("missing.ini"))));
        QVERIFY(!ini.HasSection(QString()) && ini.SectionNames().isEmpty());
        QCOMPARE(ini.GetValue(QString(), QStringLiteral("k")), QString());
    }
};

QTEST_MAIN(TestIniFile)
#include "tst_IniFile.moc"
