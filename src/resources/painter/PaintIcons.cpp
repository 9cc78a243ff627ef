// Paints every picture the program compiles in and writes them as PNG files into the folder
// given as the only argument. The PNGs are committed beside this source; run the target
// "regenerate_icons" after changing a drawing here.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <cmath>
#include <functional>

namespace
{
constexpr qreal pi = 3.14159265358979323846;
const QColor outline(0x2b, 0x2b, 0x2b);
const QColor paper(0xfb, 0xfb, 0xf6);
const QColor green(0x2e, 0xa0, 0x43);
const QColor darkGreen(0x1c, 0x6b, 0x2b);
const QColor blue(0x2f, 0x6f, 0xd0);
const QColor darkBlue(0x1d, 0x3f, 0x7a);
const QColor red(0xd2, 0x2f, 0x2f);
const QColor orange(0xf0, 0x8a, 0x24);
const QColor yellow(0xf4, 0xc4, 0x30);

using Drawing = std::function<void(QPainter &)>;

QLinearGradient Vertical(qreal top, qreal bottom, const QColor &light, const QColor &dark)
{
    QLinearGradient gradient(0, top, 0, bottom);
    gradient.setColorAt(0, light);
    gradient.setColorAt(1, dark);
    return gradient;
}

// A sheet of paper with a folded top-right corner, the base of import and export.
void Page(QPainter &p)
{
    QPainterPath sheet;
    sheet.moveTo(7, 3);
    sheet.lineTo(20, 3);
    sheet.lineTo(26, 9);
    sheet.lineTo(26, 29);
    sheet.lineTo(7, 29);
    sheet.closeSubpath();
    p.setPen(QPen(outline, 1.2));
    p.setBrush(paper);
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(20, 3);
    fold.lineTo(20, 9);
    fold.lineTo(26, 9);
    p.setBrush(QColor(0xd8, 0xd8, 0xd0));
    p.drawPath(fold);
    p.setPen(QPen(QColor(0x9a, 0x9a, 0x9a), 1.4));
    for (int y = 14; y <= 25; y += 4)
        p.drawLine(QPointF(10, y), QPointF(23, y));
}

// A thick arrow from one point to another, drawn as one closed shape.
void Arrow(QPainter &p, QPointF from, QPointF to, const QColor &fill)
{
    const QLineF line(from, to);
    const qreal length = line.length();
    QPainterPath arrow;
    arrow.moveTo(0, -2.5);
    arrow.lineTo(length - 7, -2.5);
    arrow.lineTo(length - 7, -6.5);
    arrow.lineTo(length, 0);
    arrow.lineTo(length - 7, 6.5);
    arrow.lineTo(length - 7, 2.5);
    arrow.lineTo(0, 2.5);
    arrow.closeSubpath();
    p.save();
    p.translate(from);
    p.rotate(-line.angle());
    p.setPen(QPen(outline.darker(110), 1.1));
    p.setBrush(Vertical(-6, 6, fill.lighter(130), fill.darker(120)));
    p.drawPath(arrow);
    p.restore();
}

void Import(QPainter &p)
{
    Page(p);
    Arrow(p, QPointF(2, 8), QPointF(17, 22), green);
}

void Export(QPainter &p)
{
    Page(p);
    Arrow(p, QPointF(12, 22), QPointF(30, 6), blue);
}

// A page with an arrow curling back onto it: the change undone.
void Revert(QPainter &p)
{
    Page(p);
    QPainterPath curl;
    curl.moveTo(24, 24);
    curl.cubicTo(30, 14, 20, 6, 10, 11);
    p.setPen(QPen(orange.darker(130), 3.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curl);
    QPainterPath head;
    head.moveTo(4, 12);
    head.lineTo(12, 5);
    head.lineTo(13, 16);
    head.closeSubpath();
    p.setPen(QPen(outline, 1));
    p.setBrush(orange);
    p.drawPath(head);
}

// The mark of a changed entry: small enough to sit before a row's text.
void Changed(QPainter &p)
{
    p.setPen(QPen(orange.darker(150), 1));
    p.setBrush(Vertical(2, 14, yellow, orange));
    p.drawEllipse(QPointF(8, 8), 6.2, 6.2);
    p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(8, 4.5), QPointF(8, 8.5));
    p.drawPoint(QPointF(8, 11.5));
}

void Search(QPainter &p)
{
    p.setPen(QPen(outline, 1.2));
    QPainterPath handle;
    handle.addRoundedRect(QRectF(-2.6, 0, 5.2, 12), 2, 2);
    p.save();
    p.translate(19.5, 19.5);
    p.rotate(-45);
    p.setBrush(QColor(0x7a, 0x4a, 0x22));
    p.drawPath(handle);
    p.restore();
    QRadialGradient glass(10, 10, 11, 9, 8);
    glass.setColorAt(0, QColor(0xe8, 0xf4, 0xff));
    glass.setColorAt(1, QColor(0x8c, 0xbc, 0xe8));
    p.setBrush(glass);
    p.setPen(QPen(QColor(0x55, 0x5b, 0x66), 3));
    p.drawEllipse(QPointF(12.5, 12.5), 8.5, 8.5);
    p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(7, 7, 9, 9), 100 * 16, 70 * 16);
}

void Clear(QPainter &p)
{
    p.setPen(QPen(outline, 1.2));
    QPainterPath bin;
    bin.moveTo(8, 10);
    bin.lineTo(24, 10);
    bin.lineTo(22.5, 29);
    bin.lineTo(9.5, 29);
    bin.closeSubpath();
    p.setBrush(Vertical(10, 29, QColor(0xc9, 0xcf, 0xd6), QColor(0x7d, 0x86, 0x90)));
    p.drawPath(bin);
    p.setPen(QPen(QColor(0x4d, 0x55, 0x5e), 1.5));
    for (qreal x = 12.5; x < 21; x += 3.5)
        p.drawLine(QPointF(x, 13), QPointF(x, 26));
    p.setPen(QPen(outline, 1.2));
    p.setBrush(QColor(0x9a, 0xa2, 0xab));
    p.drawRoundedRect(QRectF(5, 6.5, 22, 3.5), 1, 1);
    p.drawRoundedRect(QRectF(12.5, 3, 7, 3.5), 1, 1);
}

void Folder(QPainter &p)
{
    p.setPen(QPen(outline, 1.2));
    QPainterPath back;
    back.moveTo(2, 7);
    back.lineTo(11, 7);
    back.lineTo(14, 10);
    back.lineTo(28, 10);
    back.lineTo(28, 27);
    back.lineTo(2, 27);
    back.closeSubpath();
    p.setBrush(yellow.darker(125));
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(2, 27);
    front.lineTo(5, 14);
    front.lineTo(31, 14);
    front.lineTo(28, 27);
    front.closeSubpath();
    p.setBrush(Vertical(14, 27, yellow.lighter(120), yellow));
    p.drawPath(front);
}

// A cog wheel of eight teeth around a centre.
void Gear(QPainter &p, QPointF centre, qreal radius, const QColor &colour)
{
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const qreal r = (i % 2 == 0) ? radius : radius * 0.72;
        for (int k = 0; k < 2; ++k) {
            const qreal angle = (i + k) * pi / teeth - pi / (teeth * 2);
            const QPointF point(centre.x() + r * std::cos(angle), centre.y() + r * std::sin(angle));
            if (i == 0 && k == 0)
                gear.moveTo(point);
            else
                gear.lineTo(point);
        }
    }
    gear.closeSubpath();
    gear.addEllipse(centre, radius * 0.3, radius * 0.3);
    p.setPen(QPen(outline, 1));
    p.setBrush(colour);
    p.drawPath(gear);
}

void Working(QPainter &p)
{
    Folder(p);
    Gear(p, QPointF(23, 22), 8, QColor(0x8a, 0x93, 0x9c));
}

void Save(QPainter &p)
{
    QPainterPath disk;
    disk.moveTo(3, 3);
    disk.lineTo(25, 3);
    disk.lineTo(29, 7);
    disk.lineTo(29, 29);
    disk.lineTo(3, 29);
    disk.closeSubpath();
    p.setPen(QPen(outline, 1.2));
    p.setBrush(Vertical(3, 29, blue.lighter(120), darkBlue));
    p.drawPath(disk);
    p.setBrush(QColor(0xc3, 0xc9, 0xd0));
    p.drawRect(QRectF(9, 3, 13, 9));
    p.setBrush(darkBlue);
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(17, 4.5, 3, 6));
    p.setPen(QPen(outline, 1.2));
    p.setBrush(paper);
    p.drawRect(QRectF(7, 16, 18, 13));
    p.setPen(QPen(QColor(0xd2, 0x5a, 0x5a), 1.3));
    p.drawLine(QPointF(9, 20), QPointF(23, 20));
    p.setPen(QPen(QColor(0xa0, 0xa0, 0xa0), 1.2));
    p.drawLine(QPointF(9, 24), QPointF(23, 24));
}

void Exit(QPainter &p)
{
    p.setPen(QPen(outline, 1.2));
    p.setBrush(QColor(0x6b, 0x4a, 0x2e));
    p.drawRect(QRectF(4, 3, 16, 26));
    QPainterPath door;
    door.moveTo(6, 5);
    door.lineTo(15, 7);
    door.lineTo(15, 30);
    door.lineTo(6, 27);
    door.closeSubpath();
    p.setBrush(Vertical(5, 30, QColor(0xc8, 0x8e, 0x55), QColor(0x96, 0x5e, 0x2c)));
    p.drawPath(door);
    p.setBrush(yellow);
    p.drawEllipse(QPointF(13, 17), 1.2, 1.2);
    Arrow(p, QPointF(14, 16), QPointF(31, 16), red);
}

void Info(QPainter &p)
{
    QRadialGradient disc(13, 11, 16);
    disc.setColorAt(0, blue.lighter(145));
    disc.setColorAt(1, darkBlue);
    p.setPen(QPen(outline, 1.2));
    p.setBrush(disc);
    p.drawEllipse(QPointF(16, 16), 14, 14);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(16, 9.5), 2.4, 2.4);
    p.drawRoundedRect(QRectF(13.8, 13.5, 4.4, 12), 1.2, 1.2);
}

// A tree of three nodes with a plus badge: every branch opened.
void Expand(QPainter &p)
{
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 1.5));
    p.drawLine(QPointF(7, 10), QPointF(7, 25));
    p.drawLine(QPointF(7, 17), QPointF(15, 17));
    p.drawLine(QPointF(7, 25), QPointF(15, 25));
    p.setPen(QPen(outline, 1.1));
    p.setBrush(Vertical(2, 10, yellow.lighter(120), yellow));
    p.drawRect(QRectF(2, 3, 10, 7));
    p.setBrush(Vertical(13, 21, QColor(0xa8, 0xd2, 0xff), blue));
    p.drawRect(QRectF(15, 13.5, 9, 7));
    p.drawRect(QRectF(15, 21.5, 9, 7));
    p.setBrush(green);
    p.drawEllipse(QPointF(24, 7), 6, 6);
    p.setPen(QPen(Qt::white, 2.2));
    p.drawLine(QPointF(20.5, 7), QPointF(27.5, 7));
    p.drawLine(QPointF(24, 3.5), QPointF(24, 10.5));
}

QPainterPath Triangle(qreal left, qreal right, qreal top, qreal bottom)
{
    QPainterPath triangle;
    triangle.moveTo(left, top);
    triangle.lineTo(right, (top + bottom) / 2);
    triangle.lineTo(left, bottom);
    triangle.closeSubpath();
    return triangle;
}

void Play(QPainter &p)
{
    p.setPen(QPen(darkGreen, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Vertical(4, 28, green.lighter(140), darkGreen));
    p.drawPath(Triangle(7, 28, 4, 28));
}

void PlayNext(QPainter &p)
{
    p.setPen(QPen(darkGreen, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Vertical(6, 26, green.lighter(140), darkGreen));
    p.drawPath(Triangle(3, 15, 7, 25));
    p.drawPath(Triangle(14, 26, 7, 25));
    p.drawRoundedRect(QRectF(25.5, 7, 4, 18), 1, 1);
}

void PlayPrevious(QPainter &p)
{
    // The next-button mirrored, so both read as one pair.
    p.translate(32, 0);
    p.scale(-1, 1);
    PlayNext(p);
}

void Break(QPainter &p)
{
    p.setPen(QPen(orange.darker(150), 1.3));
    p.setBrush(Vertical(5, 27, orange.lighter(130), orange.darker(120)));
    p.drawRoundedRect(QRectF(7, 5, 6.5, 22), 1.5, 1.5);
    p.drawRoundedRect(QRectF(18.5, 5, 6.5, 22), 1.5, 1.5);
}

void Stop(QPainter &p)
{
    p.setPen(QPen(red.darker(150), 1.3));
    p.setBrush(Vertical(6, 26, red.lighter(140), red.darker(120)));
    p.drawRoundedRect(QRectF(6, 6, 20, 20), 3, 3);
}

void About(QPainter &p)
{
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(2, 3, 28, 21), 7, 7);
    QPainterPath tail;
    tail.moveTo(8, 22);
    tail.lineTo(6, 30);
    tail.lineTo(15, 23);
    tail.closeSubpath();
    p.setPen(QPen(outline, 1.2));
    p.setBrush(Vertical(3, 28, QColor(0xff, 0xf3, 0xc4), yellow));
    p.drawPath(bubble.united(tail));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(18);
    QPainterPath mark;
    mark.addText(0, 0, font, QStringLiteral("?"));
    const QRectF bounds = mark.boundingRect();
    p.setPen(Qt::NoPen);
    p.setBrush(darkBlue);
    p.drawPath(mark.translated(16 - bounds.center().x(), 13.5 - bounds.center().y()));
}

// Blocks of houses against an evening sky: the game's city, small.
void Skyline(QPainter &p, const QRectF &area, const QColor &houses)
{
    const qreal heights[] = {0.45, 0.7, 0.55, 0.95, 0.6, 0.8, 0.4, 0.65};
    const int count = int(sizeof heights / sizeof heights[0]);
    const qreal width = area.width() / count;
    p.setPen(Qt::NoPen);
    p.setBrush(houses);
    for (int i = 0; i < count; ++i) {
        const qreal h = area.height() * heights[i];
        p.drawRect(QRectF(area.left() + i * width, area.bottom() - h, width + 0.3, h));
    }
    p.setBrush(QColor(0xff, 0xe0, 0x7a));
    for (int i = 0; i < count; i += 2) {
        const qreal h = area.height() * heights[i];
        const qreal x = area.left() + i * width + width * 0.3;
        for (qreal y = area.bottom() - h + width * 0.4; y < area.bottom() - width * 0.5; y += width * 0.8)
            p.drawRect(QRectF(x, y, width * 0.35, width * 0.3));
    }
}

void GtaSmall(QPainter &p)
{
    QPainterPath frame;
    frame.addRoundedRect(QRectF(1, 1, 30, 30), 5, 5);
    p.setPen(QPen(outline, 1.2));
    p.setBrush(Vertical(1, 31, QColor(0x3a, 0x1f, 0x6b), QColor(0xf0, 0x7a, 0x3a)));
    p.drawPath(frame);
    p.setClipPath(frame);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xd2, 0x4a));
    p.drawEllipse(QPointF(20, 17), 7, 7);
    Skyline(p, QRectF(1, 10, 30, 21), QColor(0x1a, 0x12, 0x2a));
}

void MainIcon(QPainter &p)
{
    // A speaker that sounds: the program's whole purpose in sixteen pixels.
    QPainterPath speaker;
    speaker.moveTo(1.5, 5.5);
    speaker.lineTo(4.5, 5.5);
    speaker.lineTo(8.5, 2);
    speaker.lineTo(8.5, 14);
    speaker.lineTo(4.5, 10.5);
    speaker.lineTo(1.5, 10.5);
    speaker.closeSubpath();
    p.setPen(QPen(outline, 1));
    p.setBrush(orange);
    p.drawPath(speaker);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(darkBlue, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(6, 5, 6, 6), -50 * 16, 100 * 16);
    p.drawArc(QRectF(4.5, 2, 11, 12), -50 * 16, 100 * 16);
}

void GtaLogo(QPainter &p)
{
    const QRectF all(0, 0, 96, 85);
    QPainterPath frame;
    frame.addRoundedRect(all.adjusted(1, 1, -1, -1), 10, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(Vertical(0, 85, QColor(0x2a, 0x1b, 0x5e), QColor(0xf5, 0x8b, 0x3c)));
    p.drawPath(frame);
    p.setClipPath(frame);
    QRadialGradient sun(62, 44, 20);
    sun.setColorAt(0, QColor(0xff, 0xf0, 0x9a));
    sun.setColorAt(1, QColor(0xff, 0xa8, 0x30));
    p.setBrush(sun);
    p.drawEllipse(QPointF(62, 44), 18, 18);
    Skyline(p, QRectF(0, 26, 96, 38), QColor(0x1c, 0x13, 0x30));
    // A sound wave running over the city.
    QPainterPath wave;
    for (int x = 4; x <= 92; ++x) {
        const qreal t = (x - 4) / 88.0;
        const qreal envelope = std::sin(t * pi);
        const QPointF point(x, 18 + 9 * envelope * std::sin(t * 7 * 2 * pi));
        if (x == 4)
            wave.moveTo(point);
        else
            wave.lineTo(point);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x7f, 0xf0, 0xff), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(wave);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x0c, 0x1c));
    p.drawRect(QRectF(0, 64, 96, 21));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(15);
    QPainterPath title;
    title.addText(0, 0, font, QStringLiteral("RozivOze"));
    const QRectF bounds = title.boundingRect();
    p.setBrush(Vertical(66, 82, QColor(0xff, 0xe6, 0x8a), QColor(0xf5, 0x8b, 0x3c)));
    p.drawPath(title.translated(48 - bounds.center().x(), 74.5 - bounds.center().y()));
    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(outline, 1.5));
    p.drawPath(frame);
}

struct Picture
{
    const char *name;
    int width;
    int height;
    Drawing draw;
};

bool Write(const QString &folder, const Picture &picture)
{
    QImage image(picture.width, picture.height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        picture.draw(painter);
    }
    const QString path = QDir(folder).filePath(QString::fromLatin1(picture.name) + QStringLiteral(".png"));
    return image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG");
}
}

int main(int argc, char *argv[])
{
    // Text is drawn as paths, which needs the font database, so a platform must exist; no window
    // is ever shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: paint_icons <output folder>\n";
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const Picture pictures[] = {
        {"import", 32, 32, Import},
        {"search", 32, 32, Search},
        {"clear", 32, 32, Clear},
        {"working", 32, 32, Working},
        {"save", 32, 32, Save},
        {"exit", 32, 32, Exit},
        {"info", 32, 32, Info},
        {"expand", 32, 32, Expand},
        {"play_next", 32, 32, PlayNext},
        {"play_previous", 32, 32, PlayPrevious},
        {"break", 32, 32, Break},
        {"stop", 32, 32, Stop},
        {"play", 32, 32, Play},
        {"export", 32, 32, Export},
        {"about", 32, 32, About},
        {"gta_small", 32, 32, GtaSmall},
        {"main_icon", 16, 16, MainIcon},
        {"gta_logo", 96, 85, GtaLogo},
        {"revert", 32, 32, Revert},
        {"changed", 16, 16, Changed},
    };
    int failures = 0;
    for (const auto &picture : pictures) {
        if (!Write(folder, picture)) {
            err << "cannot write " << picture.name << ".png into " << folder << '\n';
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
