// Paints the player's images at build time: the ten tool-bar images of the
// resource ":/images/" and the program's icon, each at 1x and 2x (for
// high-density screens, "name@2x.png"), and the resource file listing them.
//
// imagepainter OUTPUT_DIR
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kToolSize = 24;  // logical pixels of a tool-bar image
constexpr int kIconSize = 256; // pixels of the program's icon at 1x
const QColor kInk(40, 48, 56);
const QColor kGreen(46, 160, 67);
const QColor kRed(210, 50, 45);
const QColor kBlue(40, 100, 210);

using Painting = std::function<void(QPainter &)>;

struct Image
{
    const char *name;
    int size;
    Painting paint; // in a 24 by 24 box
};

QPen pen(const QColor &color, qreal width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void play(QPainter &p)
{
    QPainterPath path;
    path.moveTo(7, 4);
    path.lineTo(20, 12);
    path.lineTo(7, 20);
    path.closeSubpath();
    p.fillPath(path, kGreen);
    p.strokePath(path, pen(kGreen.darker(140), 1.2));
}

void pause(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    p.drawRoundedRect(QRectF(6, 4, 4.5, 16), 1, 1);
    p.drawRoundedRect(QRectF(13.5, 4, 4.5, 16), 1, 1);
}

void stop(QPainter &p)
{
    p.setPen(pen(kRed.darker(140), 1.2));
    p.setBrush(kRed);
    p.drawRoundedRect(QRectF(5, 5, 14, 14), 2, 2);
}

void moveTo(QPainter &p)
{
    p.setPen(pen(kInk, 2));
    p.drawLine(QPointF(3, 12), QPointF(15, 12));
    QPainterPath head;
    head.moveTo(11, 7);
    head.lineTo(17, 12);
    head.lineTo(11, 17);
    p.setBrush(Qt::NoBrush);
    p.drawPath(head);
    p.setPen(pen(kRed, 2));
    p.drawLine(QPointF(20, 3), QPointF(20, 21));
}

void channelList(QPainter &p)
{
    for (int row = 0; row < 3; ++row) {
        const qreal y = 5 + row * 6;
        p.setPen(pen(kInk, 1.2));
        p.setBrush(row == 1 ? Qt::white : kGreen);
        p.drawRect(QRectF(3, y - 2, 4, 4));
        p.setPen(pen(kInk, 2));
        p.drawLine(QPointF(10, y), QPointF(21, y));
    }
}

void magnifier(QPainter &p, bool plus)
{
    p.setPen(pen(kInk, 2));
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(QPointF(10, 10), 6.5, 6.5);
    p.setPen(pen(kInk, 3));
    p.drawLine(QPointF(15, 15), QPointF(21, 21));
    p.setPen(pen(kBlue, 2));
    p.drawLine(QPointF(7, 10), QPointF(13, 10));
    if (plus)
        p.drawLine(QPointF(10, 7), QPointF(10, 13));
}

void scaleToMarkedArea(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QBrush(kBlue, Qt::Dense6Pattern));
    p.drawRect(QRectF(7, 5, 10, 14));
    p.setPen(pen(kBlue, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(7, 5, 10, 14));
    p.setPen(pen(kInk, 2));
    p.drawLine(QPointF(2, 12), QPointF(6, 12));
    p.drawLine(QPointF(18, 12), QPointF(22, 12));
    p.drawLine(QPointF(4, 9), QPointF(6, 12));
    p.drawLine(QPointF(4, 15), QPointF(6, 12));
    p.drawLine(QPointF(20, 9), QPointF(18, 12));
    p.drawLine(QPointF(20, 15), QPointF(18, 12));
}

void scaleToFileWide(QPainter &p)
{
    p.setPen(pen(kInk, 2));
    p.drawLine(QPointF(3, 4), QPointF(3, 20));
    p.drawLine(QPointF(21, 4), QPointF(21, 20));
    p.drawLine(QPointF(6, 12), QPointF(18, 12));
    p.drawLine(QPointF(9, 9), QPointF(6, 12));
    p.drawLine(QPointF(9, 15), QPointF(6, 12));
    p.drawLine(QPointF(15, 9), QPointF(18, 12));
    p.drawLine(QPointF(15, 15), QPointF(18, 12));
}

// The letter P as strokes: a stem and a bowl.
void pChar(QPainter &p)
{
    p.setPen(pen(kInk, 3));
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(8, 21);
    path.lineTo(8, 4);
    path.lineTo(13, 4);
    path.cubicTo(19.5, 4, 19.5, 13, 13, 13);
    path.lineTo(8, 13);
    p.drawPath(path);
}

// The program: a dark screen with a speech envelope, a text mark and the
// red cursor line.
void programIcon(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 24, 30));
    p.drawRoundedRect(QRectF(1, 1, 22, 22), 4, 4);
    p.setPen(pen(kGreen.lighter(130), 1.1));
    const qreal heights[] = {1, 3, 6, 4, 8, 5, 2, 1, 4, 7, 3, 1};
    for (int i = 0; i < 12; ++i) {
        const qreal x = 4 + i * 1.4;
        p.drawLine(QPointF(x, 12 - heights[i] / 1.4), QPointF(x, 12 + heights[i] / 1.4));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 40, 140));
    p.drawRect(QRectF(4, 17, 9, 3.5));
    p.setPen(pen(kRed, 1.2));
    p.drawLine(QPointF(15.5, 3.5), QPointF(15.5, 20.5));
}

const std::vector<Image> &images()
{
    static const std::vector<Image> list{
        {"play", kToolSize, play},
        {"pause", kToolSize, pause},
        {"stop", kToolSize, stop},
        {"move_to", kToolSize, moveTo},
        {"channel_list", kToolSize, channelList},
        {"scale_expand", kToolSize, [](QPainter &p) { magnifier(p, true); }},
        {"scale_narrow", kToolSize, [](QPainter &p) { magnifier(p, false); }},
        {"scale_to_marked_area", kToolSize, scaleToMarkedArea},
        {"scale_to_file_wide", kToolSize, scaleToFileWide},
        {"P_char", kToolSize, pChar},
        {"velmora", kIconSize, programIcon},
    };
    return list;
}

bool paintImage(const Image &image, int scale, const QString &path)
{
    const int pixels = image.size * scale;
    QImage canvas(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(pixels / qreal(kToolSize), pixels / qreal(kToolSize));
    image.paint(painter);
    painter.end();
    return canvas.save(path, "PNG");
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        fprintf(stderr, "usage: imagepainter OUTPUT_DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(dir.path()))
        return 1;
    QFile qrc(dir.filePath(QStringLiteral("playerimages.qrc")));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Text))
        return 1;
    QTextStream out(&qrc);
    out << "<RCC>\n  <qresource prefix=\"/images\">\n";
    for (const Image &image : images()) {
        for (int scale : {1, 2}) {
            const QString name = QString::fromLatin1(image.name) + (scale == 2 ? QStringLiteral("@2x.png") : QStringLiteral(".png"));
            if (!paintImage(image, scale, dir.filePath(name))) {
                fprintf(stderr, "imagepainter: cannot write %s\n", qPrintable(dir.filePath(name)));
                return 1;
            }
            out << "    <file>" << name << "</file>\n";
        }
    }
    out << "  </qresource>\n</RCC>\n";
    return out.status() == QTextStream::Ok ? 0 : 1;
}
