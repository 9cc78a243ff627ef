#include <QImage>
#include <QSet>
#include <QtTest>

namespace
{
const QStringList names{"import", "search", "clear", "working", "save", "exit", "info", "expand", "play_next",
                        "play_previous", "break", "stop", "play", "export", "about", "gta_small", "main_icon", "gta_logo"};
}

// The compiled-in pictures: present under their bare names, of their sizes, and real drawings.
class TestResources : public QObject
{
    Q_OBJECT
private slots:
    void ProvidesEveryPicture_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        for (const QString &name : names)
            QTest::newRow(qPrintable(name)) << name
                << (name == "main_icon" ? QSize(16, 16) : name == "gta_logo" ? QSize(96, 85) : QSize(32, 32));
    }
    void ProvidesEveryPicture()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFile file(QStringLiteral(":/") + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.peek(8).startsWith("\x89PNG"));
        const QImage image(QStringLiteral(":/") + name);
        QCOMPARE(image.size(), size);
        // A drawing, not a filled square: many colours, something opaque.
        QSet<QRgb> colours;
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                colours.insert(image.pixel(x, y));
                opaque += qAlpha(image.pixel(x, y)) > 200;
            }
        }
        QVERIFY2(colours.size() >= 8, qPrintable(QString::number(colours.size())));
        QVERIFY(opaque >= image.width() * image.height() / 8);
    }

    void NoTwoPicturesAreAlike()
    {
        QList<QImage> icons;
        QStringList iconNames;
        for (const QString &name : names) {
            const QImage image(QStringLiteral(":/") + name);
            if (image.size() == QSize(32, 32)) {
                icons << image.convertToFormat(QImage::Format_ARGB32);
                iconNames << name;
            }
        }
        QCOMPARE(icons.size(), 16);
        for (int a = 0; a < icons.size(); ++a) {
            for (int b = a + 1; b < icons.size(); ++b) {
                int differing = 0;
                for (int y = 0; y < 32; ++y)
                    for (int x = 0; x < 32; ++x)
                        differing += icons.at(a).pixel(x, y) != icons.at(b).pixel(x, y);
                QVERIFY2(differing > 100, qPrintable(iconNames.at(a) + QLatin1Char('/') + iconNames.at(b)));
            }
        }
    }
};

QTEST_MAIN(TestResources)
#include "tst_Resources.moc"
