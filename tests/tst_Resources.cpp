#include <QImage>
#include <QtTest>

namespace
{
const QStringList names{"import", "search", "clear", "working", "save", "exit", "info", "expand", "play_next",
                        "play_previous", "break", "stop", "play", "export", "about", "gta_small", "main_icon", "gta_logo", "revert", "changed"};
}

// The compiled-in pictures the window asks for by their bare names: each there, of its size, and
// no two the same picture under different names.
class TestResources : public QObject
{
    Q_OBJECT
private slots:
    void ProvidesEveryPictureOnce()
    {
        QList<QImage> seen;
        for (const QString &name : names) {
            const QImage image(QStringLiteral(":/") + name);
            const QSize size = name == "main_icon" || name == "changed" ? QSize(16, 16) : name == "gta_logo" ? QSize(96, 85) : QSize(32, 32);
            QVERIFY2(image.size() == size, qPrintable(name));
            QVERIFY2(!seen.contains(image), qPrintable(name + " is the picture of another name"));
            seen << image;
        }
    }
};

QTEST_MAIN(TestResources)
#include "tst_Resources.moc"
