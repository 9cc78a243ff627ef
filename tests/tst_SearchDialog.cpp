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
        QTest::addColumn<QString>("archive");    // the one loaded; empty: none
        QTest::addColumn<QStringList>("steps");  // "command -> the current entry afterwards"

        QTest::newRow("nothing loaded: nothing found") << "" << QStringList{"find a -> ", "next a -> ", "previous a -> "};
        QTest::newRow("next goes to the following bank and wraps to the first hit")
            << "Sfx1" << QStringList{"find alpha -> alpha.wav", "next alpha -> alpha2.wav", "next alpha -> alpha.wav"};
        QTest::newRow("previous from the first sound wraps to the last banks")
            << "Sfx1" << QStringList{"find alpha -> alpha.wav", "previous alpha -> alpha2.wav", "previous alpha -> alpha.wav"};
        QTest::newRow("full case mapping")
            << "Sfx1" << QStringList{QString::fromUtf8("find \u0130STANBUL -> i\u0307stanbul.wav")};
        QTest::newRow("a bank with sounds is never tested") << "Sfx1" << QStringList{"find bank_002 -> "};
        QTest::newRow("empty text selects nothing") << "Sfx1" << QStringList{"find -> ", "next -> ", "previous -> "};
        QTest::newRow("previous before any search does nothing") << "Sfx1" << QStringList{"previous alpha -> "};
        QTest::newRow("a miss leaves the position on the first bank")
            << "Sfx1" << QStringList{"find nothing -> ", "next alpha -> alpha2.wav"};
        QTest::newRow("changed text does not wrap before its first hit")
            << "Sfx1" << QStringList{"find epsilon -> epsilon.wav", "next alpha -> epsilon.wav"};
        QTest::newRow("a miss in a track list forgets the position")
            << "Radio" << QStringList{"find nothing -> ", "next one -> one.ogg"};
        QTest::newRow("tracks wrap both ways")
            << "Radio" << QStringList{"find t -> two.ogg", "next t -> three.ogg", "next t -> two.ogg", "previous t -> three.ogg"};
        QTest::newRow("previous from the first track wraps once something was found")
            << "Radio" << QStringList{"find o -> one.ogg", "previous o -> three.ogg"};
        QTest::newRow("Return starts at the first entry each time")
            << "Sfx1" << QStringList{"return wav -> alpha.wav", "next wav -> beta.wav", "return wav -> alpha.wav"};
        // "Engine ROAR;Loud" belongs to beta, "quiet" to delta; no entry with metadata is called gamma.
        QTest::newRow("metadata search looks only at metadata")
            << "Sfx1" << QStringList{"archive -> ", "metadata -> ", "find roar -> beta.wav", "next e -> delta.ogg",
                                     "next e -> beta.wav", "deselect -> ", "find gamma -> "};
        // Found stays set while nothing matches any more: each command must end after one wrap.
        QTest::newRow("a hit that no longer matches wraps only once per command")
            << "Sfx1" << QStringList{"find alpha -> alpha.wav", "metadata -> alpha.wav", "next alpha -> alpha.wav",
                                     "previous alpha -> alpha.wav", "find alpha -> alpha.wav"};
        QTest::newRow("forgotten hits do not wrap")
            << "Sfx1" << QStringList{"find epsilon -> epsilon.wav", "forget -> epsilon.wav", "deselect -> ",
                                     "previous epsilon -> ", "next epsilon -> epsilon.wav"};
        // The banks are freed with their model: no command may go back to them.
        QTest::newRow("another archive is searched afresh")
            << "Sfx1" << QStringList{"find beta -> beta.wav", "radio -> ", "next beta -> ", "next o -> one.ogg"};
        // A hundred thousand tracks: a miss, then around the whole list in both directions without a growing stack.
        QTest::newRow("a long list")
            << "Long" << QStringList{"find nothing -> ", "find last -> last.ogg", "next last -> last.ogg", "previous last -> last.ogg"};
    }
    void WalksHitsInOrder()
    {
        QFETCH(QString, archive);
        QFETCH(QStringList, steps);
        if (archive == "Long") {
            QStringList tracks;
            for (int track = 0; track < 99999; ++track)
                tracks << QStringLiteral("track_%1.ogg").arg(track);
            fixture->WriteStreamArchive("Long", tracks << "last.ogg", false);
        }
        if (!archive.isEmpty())
            QVERIFY(fixture->Load(archive));

        QStringList seen;
        for (const QString &step : steps) {
            Run(step.section(" -> ", 0, 0));
            seen << step.section(" -> ", 0, 0) + " -> " + Current();
        }
        QCOMPARE(seen, steps);
        QCOMPARE(fixture->dialogs.Log(), QStringList());  // the search never talks
    }

private:
    QLineEdit *Edit() const { return fixture->SearchBar()->findChild<QLineEdit *>("searchEdit"); }
    QString Current() const { return fixture->EntryView()->currentIndex().data().toString(); }
    // "find TEXT", "next TEXT", "previous TEXT" type the text and press the button, "return TEXT"
    // presses Return in the box; "metadata" ticks the box, "archive" opens Sfx1 from the tree,
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
            QVERIFY(fixture->OpenFromTree({"Audio", "Sfx1"}));
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
