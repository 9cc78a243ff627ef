#include "WindowFixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

// The search bar over a loaded archive: by name and by metadata, forward, backward, around.
class TestSearchDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void WalksHitsInOrder_data();
    void WalksHitsInOrder();
    void WalksLongListWithoutGrowingStack();

private:
    QLineEdit *Edit() const { return fixture->SearchBar()->findChild<QLineEdit *>(QStringLiteral("searchEdit")); }
    QPushButton *Button(const char *name) const
    {
        return fixture->SearchBar()->findChild<QPushButton *>(QString::fromLatin1(name));
    }
    QString Current() const { return fixture->EntryView()->currentIndex().data().toString(); }
    // "find TEXT", "next TEXT", "previous TEXT" type the text and press the button, "return TEXT"
    // presses Return in the box; "metadata" ticks the box, "archive" selects Sfx1 in the tree,
    // "forget" forgets the hits, "deselect" clears the current entry, "radio" loads the stream.
    void Run(const QString &command) const
    {
        const qsizetype blank = command.indexOf(QLatin1Char(' '));
        const QString verb = blank < 0 ? command : command.left(blank);
        Edit()->setText(blank < 0 ? QString() : command.mid(blank + 1));
        if (verb == QLatin1String("find"))
            Button("findButton")->click();
        else if (verb == QLatin1String("next"))
            Button("findNextButton")->click();
        else if (verb == QLatin1String("previous"))
            Button("findPreviousButton")->click();
        else if (verb == QLatin1String("return"))
            QTest::keyClick(Edit(), Qt::Key_Return);
        else if (verb == QLatin1String("metadata"))
            fixture->SearchBar()->findChild<QCheckBox *>(QStringLiteral("metadataCheckBox"))->setChecked(true);
        else if (verb == QLatin1String("archive"))
            QVERIFY(fixture->SelectArchive({QStringLiteral("Audio"), QStringLiteral("Sfx1")}));
        else if (verb == QLatin1String("forget"))
            fixture->SearchBar()->ForgetHits();
        else if (verb == QLatin1String("deselect"))
            fixture->EntryView()->setCurrentIndex(QModelIndex());
        else if (verb == QLatin1String("radio"))
            QVERIFY(fixture->LoadStream(QStringLiteral("Radio")));
        else
            QFAIL("unknown command");
    }

    std::unique_ptr<WindowFixture> fixture;
};

void TestSearchDialog::initTestCase()
{
    WindowFixture::WriteBesideProgram(QStringLiteral("configuration.ini"), QString::fromLatin1(StandardConfiguration()));
    WindowFixture::WriteBesideProgram(
        QStringLiteral("MetaData.xml"),
        QStringLiteral("<Root>\n"
                       "  <InfoData Id=\"1\" Text=\"Engine ROAR;Loud\"/>\n"
                       "  <InfoData Id=\"2\" Text=\"quiet\"/>\n"
                       "  <MetaData VirtualPath=\"Archiv\\Audio\\Sfx1\\beta.wav\" InfoDataItemId=\"1\"/>\n"
                       "  <MetaData VirtualPath=\"Archiv\\Audio\\Sfx1\\delta.ogg\" InfoDataItemId=\"2\"/>\n"
                       "</Root>\n"));
}

void TestSearchDialog::init()
{
    fixture = std::make_unique<WindowFixture>();
    fixture->WriteSfxArchive(QStringLiteral("Sfx1"),
                             {{"alpha.wav", "beta.wav"},
                              {"gamma.wav", "alpha2.wav", "delta.ogg"},
                              {"epsilon.wav", QString::fromUtf8("i\u0307stanbul.wav")}},
                             false);
    fixture->WriteStreamArchive(QStringLiteral("Radio"), {"one.ogg", "two.ogg", "three.ogg"}, false);
    fixture->Open();
}

void TestSearchDialog::cleanup()
{
    fixture.reset();
}

void TestSearchDialog::WalksHitsInOrder_data()
{
    QTest::addColumn<bool>("bStream");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("expected");  // the current entry after each command

    QTest::newRow("find selects the first hit") << false << QStringList{"find wav"} << QStringList{"alpha.wav"};
    QTest::newRow("next goes to the following bank and wraps to the first hit")
        << false << QStringList{"find alpha", "next alpha", "next alpha"}
        << QStringList{"alpha.wav", "alpha2.wav", "alpha.wav"};
    QTest::newRow("previous from the first sound wraps to the last banks")
        << false << QStringList{"find alpha", "previous alpha", "previous alpha"}
        << QStringList{"alpha.wav", "alpha2.wav", "alpha.wav"};
    QTest::newRow("capitals find small letters") << false << QStringList{"find ALPHA"} << QStringList{"alpha.wav"};
    QTest::newRow("full case mapping") << false << QStringList{QString::fromUtf8("find \u0130STANBUL")}
                                       << QStringList{QString::fromUtf8("i\u0307stanbul.wav")};
    QTest::newRow("a bank with sounds is never tested") << false << QStringList{"find bank_002"} << QStringList{""};
    QTest::newRow("empty text selects nothing") << false << QStringList{"find", "next", "previous"}
                                                << QStringList{"", "", ""};
    QTest::newRow("previous before any search does nothing") << false << QStringList{"previous alpha"}
                                                             << QStringList{""};
    QTest::newRow("a miss leaves the position on the first bank")
        << false << QStringList{"find nothing", "next alpha"} << QStringList{"", "alpha2.wav"};
    QTest::newRow("changed text does not wrap before its first hit")
        << false << QStringList{"find epsilon", "next alpha"} << QStringList{"epsilon.wav", "epsilon.wav"};
    QTest::newRow("a miss in a track list forgets the position")
        << true << QStringList{"find nothing", "next one"} << QStringList{"", "one.ogg"};
    QTest::newRow("tracks wrap both ways")
        << true << QStringList{"find t", "next t", "next t", "previous t"}
        << QStringList{"two.ogg", "three.ogg", "two.ogg", "three.ogg"};
    QTest::newRow("previous from the first track wraps once something was found")
        << true << QStringList{"find o", "previous o"} << QStringList{"one.ogg", "three.ogg"};
    QTest::newRow("Return starts at the first entry each time")
        << false << QStringList{"return wav", "next wav", "return wav"}
        << QStringList{"alpha.wav", "beta.wav", "alpha.wav"};
    // "Engine ROAR;Loud" belongs to beta, "quiet" to delta; no entry with metadata is called gamma.
    QTest::newRow("metadata search looks only at metadata")
        << false << QStringList{"archive", "metadata", "find roar", "next e", "next e", "deselect", "find gamma"}
        << QStringList{"", "", "beta.wav", "delta.ogg", "beta.wav", "", ""};
    // Found stays set while nothing matches any more: each command must end after one wrap.
    QTest::newRow("a hit that no longer matches wraps only once per command")
        << false << QStringList{"find alpha", "metadata", "next alpha", "previous alpha", "find alpha"}
        << QStringList{"alpha.wav", "alpha.wav", "alpha.wav", "alpha.wav", "alpha.wav"};
    QTest::newRow("forgotten hits do not wrap")
        << false << QStringList{"find epsilon", "forget", "deselect", "previous epsilon", "next epsilon"}
        << QStringList{"epsilon.wav", "epsilon.wav", "", "", "epsilon.wav"};
    // The banks are freed with their model: no command may go back to them.
    QTest::newRow("another archive is searched afresh")
        << false << QStringList{"find beta", "radio", "next beta", "next o"} << QStringList{"beta.wav", "", "", "one.ogg"};
}

void TestSearchDialog::WalksHitsInOrder()
{
    QFETCH(bool, bStream);
    QFETCH(QStringList, commands);
    QFETCH(QStringList, expected);
    QVERIFY(fixture->Load(bStream, bStream ? QStringLiteral("Radio") : QStringLiteral("Sfx1")));

    QStringList seen;
    for (const QString &command : commands) {
        Run(command);
        seen << Current();
    }
    QCOMPARE(seen, expected);
    QCOMPARE(fixture->dialogs.Log(), QStringList());  // the search never talks
}

void TestSearchDialog::WalksLongListWithoutGrowingStack()
{
    QStringList tracks;
    for (int track = 0; track < 100000; ++track)
        tracks << QStringLiteral("track_%1.ogg").arg(track);
    tracks.last() = QStringLiteral("last.ogg");
    fixture->WriteStreamArchive(QStringLiteral("Long"), tracks, false);
    QVERIFY(fixture->LoadStream(QStringLiteral("Long")));
    QCOMPARE(fixture->Entries()->rowCount(), 100000);

    Run(QStringLiteral("find nothing"));
    QCOMPARE(Current(), QString());
    Run(QStringLiteral("find last"));
    QCOMPARE(Current(), QStringLiteral("last.ogg"));
    Run(QStringLiteral("next last"));  // around the whole list back to the same hit
    QCOMPARE(Current(), QStringLiteral("last.ogg"));
    Run(QStringLiteral("previous last"));
    QCOMPARE(Current(), QStringLiteral("last.ogg"));
}

QTEST_MAIN(TestSearchDialog)
#include "tst_SearchDialog.moc"
