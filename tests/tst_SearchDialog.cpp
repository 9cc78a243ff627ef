#include "WindowFixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>

// The search bar over a loaded archive: by name and by metadata, forward, backward, around.
class TestSearchDialog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fixture = std::make_unique<WindowFixture>();
        fixture->WriteBesideProgram("<Root>\n"
                                    "  <InfoData Id=\"1\" Text=\"Engine ROAR;Loud\"/>\n"
                                    "  <InfoData Id=\"2\" Text=\"quiet\"/>\n"
                                    "  <MetaData VirtualPath=\"Archiv\\Audio\\Sfx1\\beta.wav\" InfoDataItemId=\"1\"/>\n"
                                    "  <MetaData VirtualPath=\"Archiv\\Audio\\Sfx1\\delta.ogg\" InfoDataItemId=\"2\"/>\n"
                                    "</Root>\n");
        fixture->WriteSfxArchive("Sfx1",
                                 {{"alpha.wav", "beta.wav"},
                                  {"gamma.wav", "alpha2.wav", "delta.ogg"},
                                  {"epsilon.wav", QString::fromUtf8("i\u0307stanbul.wav")}},
                                 false);
        fixture->WriteStreamArchive("Radio", {"one.ogg", "two.ogg", "three.ogg"}, false);
        fixture->Open();
    }
    void cleanup() { fixture.reset(); }

    void WalksHitsInOrder_data()
    {
        QTest::addColumn<QString>("archive");  // the one loaded; empty: none
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QStringList>("expected");  // the current entry after each command

        QTest::newRow("nothing loaded: nothing found") << "" << QStringList{"find a", "next a", "previous a"}
                                                        << QStringList{"", "", ""};
        QTest::newRow("next goes to the following bank and wraps to the first hit")
            << "Sfx1" << QStringList{"find alpha", "next alpha", "next alpha"}
            << QStringList{"alpha.wav", "alpha2.wav", "alpha.wav"};
        QTest::newRow("previous from the first sound wraps to the last banks")
            << "Sfx1" << QStringList{"find alpha", "previous alpha", "previous alpha"}
            << QStringList{"alpha.wav", "alpha2.wav", "alpha.wav"};
        QTest::newRow("full case mapping") << "Sfx1" << QStringList{QString::fromUtf8("find \u0130STANBUL")}
                                           << QStringList{QString::fromUtf8("i\u0307stanbul.wav")};
        QTest::newRow("a bank with sounds is never tested") << "Sfx1" << QStringList{"find bank_002"} << QStringList{""};
        QTest::newRow("empty text selects nothing") << "Sfx1" << QStringList{"find", "next", "previous"}
                                                    << QStringList{"", "", ""};
        QTest::newRow("previous before any search does nothing") << "Sfx1" << QStringList{"previous alpha"}
                                                                 << QStringList{""};
        QTest::newRow("a miss leaves the position on the first bank")
            << "Sfx1" << QStringList{"find nothing", "next alpha"} << QStringList{"", "alpha2.wav"};
        QTest::newRow("changed text does not wrap before its first hit")
            << "Sfx1" << QStringList{"find epsilon", "next alpha"} << QStringList{"epsilon.wav", "epsilon.wav"};
        QTest::newRow("a miss in a track list forgets the position")
            << "Radio" << QStringList{"find nothing", "next one"} << QStringList{"", "one.ogg"};
        QTest::newRow("tracks wrap both ways")
            << "Radio" << QStringList{"find t", "next t", "next t", "previous t"}
            << QStringList{"two.ogg", "three.ogg", "two.ogg", "three.ogg"};
        QTest::newRow("previous from the first track wraps once something was found")
            << "Radio" << QStringList{"find o", "previous o"} << QStringList{"one.ogg", "three.ogg"};
        QTest::newRow("Return starts at the first entry each time")
            << "Sfx1" << QStringList{"return wav", "next wav", "return wav"}
            << QStringList{"alpha.wav", "beta.wav", "alpha.wav"};
        // "Engine ROAR;Loud" belongs to beta, "quiet" to delta; no entry with metadata is called gamma.
        QTest::newRow("metadata search looks only at metadata")
            << "Sfx1" << QStringList{"archive", "metadata", "find roar", "next e", "next e", "deselect", "find gamma"}
            << QStringList{"", "", "beta.wav", "delta.ogg", "beta.wav", "", ""};
        // Found stays set while nothing matches any more: each command must end after one wrap.
        QTest::newRow("a hit that no longer matches wraps only once per command")
            << "Sfx1" << QStringList{"find alpha", "metadata", "next alpha", "previous alpha", "find alpha"}
            << QStringList{"alpha.wav", "alpha.wav", "alpha.wav", "alpha.wav", "alpha.wav"};
        QTest::newRow("forgotten hits do not wrap")
            << "Sfx1" << QStringList{"find epsilon", "forget", "deselect", "previous epsilon", "next epsilon"}
            << QStringList{"epsilon.wav", "epsilon.wav", "", "", "epsilon.wav"};
        // The banks are freed with their model: no command may go back to them.
        QTest::newRow("another archive is searched afresh")
            << "Sfx1" << QStringList{"find beta", "radio", "next beta", "next o"} << QStringList{"beta.wav", "", "", "one.ogg"};
    }
    void WalksHitsInOrder()
    {
        QFETCH(QString, archive);
        QFETCH(QStringList, commands);
        QFETCH(QStringList, expected);
        if (!archive.isEmpty())
            QVERIFY(fixture->Load(archive));

        QStringList seen;
        for (const QString &command : commands) {
            Run(command);
            seen << Current();
        }
        QCOMPARE(seen, expected);
        QCOMPARE(fixture->dialogs.Log(), QStringList());  // the search never talks
    }

    void WalksLongListWithoutGrowingStack()
    {
        QStringList tracks;
        for (int track = 0; track < 100000; ++track)
            tracks << QStringLiteral("track_%1.ogg").arg(track);
        tracks.last() = "last.ogg";
        fixture->WriteStreamArchive("Long", tracks, false);
        QVERIFY(fixture->Load("Long"));

        // A miss, then around the whole list back to the same hit in both directions.
        QStringList seen;
        for (const char *command : {"find nothing", "find last", "next last", "previous last"}) {
            Run(command);
            seen << Current();
        }
        QCOMPARE(seen, (QStringList{"", "last.ogg", "last.ogg", "last.ogg"}));
    }

private:
    QLineEdit *Edit() const { return fixture->SearchBar()->findChild<QLineEdit *>("searchEdit"); }
    QString Current() const { return fixture->EntryView()->currentIndex().data().toString(); }
    // "find TEXT", "next TEXT", "previous TEXT" type the text and press the button, "return TEXT"
    // presses Return in the box; "metadata" ticks the box, "archive" selects Sfx1 in the tree,
    // "forget" forgets the hits, "deselect" clears the current entry, "radio" loads the stream.
    void Run(const QString &command) const
    {
        const QString verb = command.section(' ', 0, 0);
        Edit()->setText(command.section(' ', 1));
        const QMap<QString, const char *> buttons{
            {"find", "findButton"}, {"next", "findNextButton"}, {"previous", "findPreviousButton"}};
        if (buttons.contains(verb))
            fixture->SearchBar()->findChild<QPushButton *>(buttons[verb])->click();
        else if (verb == "return")
            QTest::keyClick(Edit(), Qt::Key_Return);
        else if (verb == "metadata")
            fixture->SearchBar()->findChild<QCheckBox *>("metadataCheckBox")->setChecked(true);
        else if (verb == "archive")
            QVERIFY(fixture->SelectArchive({"Audio", "Sfx1"}));
        else if (verb == "forget")
            fixture->SearchBar()->ForgetHits();
        else if (verb == "deselect")
            fixture->EntryView()->setCurrentIndex(QModelIndex());
        else if (verb == "radio")
            QVERIFY(fixture->Load("Radio"));
        else
            QFAIL("unknown command");
    }

    std::unique_ptr<WindowFixture> fixture;
};

QTEST_MAIN(TestSearchDialog)
#include "tst_SearchDialog.moc"
