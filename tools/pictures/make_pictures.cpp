// Draws the program's two pictures, 48x48 RGBA on a transparent background:
//   MAINICON.png  the letters SQL, black, bold and blocky, the tail of the Q below the line
//   Image1.png    a grey database cylinder with a blue check mark at its lower right
// Usage: make_pictures OUTPUT_FOLDER   (the committed copies live in src/res/)

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kSize = 48;

QImage Blank() {
    QImage image(kSize, kSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

QImage DrawSqlIcon() {
    QImage image = Blank();
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    // Letters from strokes 4 px wide on a 22 px cap height (rows 12..33); the Q's tail drops to 41.
    const int top = 12, bottom = 34, w = 4;
    // S
    p.drawRect(1, top, 13, w);
    p.drawRect(1, top, w, 13);
    p.drawRect(1, 21, 13, w);
    p.drawRect(10, 21, w, bottom - 21);
    p.drawRect(1, bottom - w, 13, w);
    // Q
    p.drawRect(17, top, 14, w);
    p.drawRect(17, top, w, bottom - top);
    p.drawRect(27, top, w, bottom - top);
    p.drawRect(17, bottom - w, 14, w);
    QPolygon tail;
    tail << QPoint(23, 27) << QPoint(28, 27) << QPoint(34, 41) << QPoint(29, 41);
    p.drawPolygon(tail);
    // L
    p.drawRect(35, top, w, bottom - top);
    p.drawRect(35, bottom - w, 12, w);
    return image;
}

QImage DrawIndicator() {
    QImage image = Blank();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(5, 8, 30, 32);
    const qreal rim = 6; // half the height of the top and bottom ellipses
    QLinearGradient shade(body.left(), 0, body.right(), 0);
    shade.setColorAt(0.0, QColor(120, 120, 120));
    shade.setColorAt(0.45, QColor(205, 205, 205));
    shade.setColorAt(1.0, QColor(110, 110, 110));
    QPainterPath cylinder;
    cylinder.moveTo(body.left(), body.top());
    cylinder.lineTo(body.left(), body.bottom());
    cylinder.arcTo(QRectF(body.left(), body.bottom() - rim, body.width(), 2 * rim), 180, 180);
    cylinder.lineTo(body.right(), body.top());
    cylinder.arcTo(QRectF(body.left(), body.top() - rim, body.width(), 2 * rim), 0, -180);
    p.setPen(QPen(QColor(80, 80, 80), 1));
    p.setBrush(shade);
    p.drawPath(cylinder);
    p.setBrush(QColor(225, 225, 225));
    p.drawEllipse(QRectF(body.left(), body.top() - rim, body.width(), 2 * rim));
    // Bands that make it read as stacked disks.
    p.setBrush(Qt::NoBrush);
    for (qreal y : {body.top() + 10, body.top() + 20})
        p.drawArc(QRectF(body.left(), y - rim, body.width(), 2 * rim), 180 * 16, 180 * 16);
    // The check mark, with a white edge so it stands out on the grey.
    QPainterPath check;
    check.moveTo(25, 34);
    check.lineTo(32, 42);
    check.lineTo(45, 24);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(check);
    p.setPen(QPen(QColor(0, 90, 220), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(check);
    return image;
}

bool Save(const QImage& image, const QString& path) {
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const bool ok = Save(DrawSqlIcon(), folder + QStringLiteral("/MAINICON.png")) &&
                    Save(DrawIndicator(), folder + QStringLiteral("/Image1.png"));
    return ok ? 0 : 1;
}
