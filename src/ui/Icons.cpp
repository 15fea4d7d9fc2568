#include "Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <cmath>

namespace vantor::icons {

namespace {

const QColor kInk(40, 40, 48);
const QColor kPaper(250, 250, 244);
const QColor kBlue(46, 96, 170);
const QColor kGreen(52, 140, 72);
const QColor kRed(184, 52, 44);
const QColor kGold(214, 160, 40);

void Page(QPainter& p, const QColor& fill = kPaper) {
    QPainterPath path;
    path.moveTo(3.5, 1.5);
    path.lineTo(10.5, 1.5);
    path.lineTo(13.5, 4.5);
    path.lineTo(13.5, 14.5);
    path.lineTo(3.5, 14.5);
    path.closeSubpath();
    p.setPen(QPen(kInk, 1));
    p.setBrush(fill);
    p.drawPath(path);
    p.drawLine(QPointF(10.5, 1.5), QPointF(10.5, 4.5));
    p.drawLine(QPointF(10.5, 4.5), QPointF(13.5, 4.5));
}

void Lines(QPainter& p, int from, int to) {
    p.setPen(QPen(QColor(120, 120, 130), 1));
    for (int y = from; y <= to; y += 2) p.drawLine(5, y, 11, y);
}

void Pane(QPainter& p, int highlighted) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kPaper);
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    const QRectF rows[3] = {QRectF(2, 2, 12, 4), QRectF(2, 6, 12, 4), QRectF(2, 10, 12, 4)};
    p.fillRect(rows[highlighted], highlighted == 0 ? kRed : highlighted == 1 ? kGold : kBlue);
    p.setPen(QPen(kInk, 1));
    p.drawLine(QPointF(1.5, 5.5), QPointF(14.5, 5.5));
    p.drawLine(QPointF(1.5, 9.5), QPointF(14.5, 9.5));
}

// The program's icon on a 16-pixel grid.
void PaintApp(QPainter& p) {
    p.setPen(QPen(kInk, 1));
    p.setBrush(kBlue);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setPen(QPen(kGold, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF v[] = {{4.5, 4.5}, {8, 12}, {11.5, 4.5}};
    p.drawPolyline(v, 3);
}

}  // namespace

QImage AppImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(size / 16.0, size / 16.0);
    PaintApp(p);
    p.end();
    return image;
}

QIcon Make(EIcon icon) {
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    switch (icon) {
        case EIcon::NewCheck:
            Page(p);
            p.setPen(QPen(kGold, 2));
            p.drawLine(QPointF(8, 6), QPointF(8, 12));
            p.drawLine(QPointF(5, 9), QPointF(11, 9));
            break;
        case EIcon::ChoosePlugins:
            p.setPen(QPen(kInk, 1));
            p.setBrush(kGold);
            p.drawRect(QRectF(1.5, 4.5, 13, 9));
            p.setBrush(QColor(240, 200, 90));
            p.drawRect(QRectF(1.5, 3.0, 6, 2));
            break;
        case EIcon::SaveResults:
            p.setPen(QPen(kInk, 1));
            p.setBrush(kBlue);
            p.drawRect(QRectF(1.5, 1.5, 13, 13));
            p.setBrush(kPaper);
            p.drawRect(QRectF(4.5, 1.5, 7, 5));
            p.drawRect(QRectF(3.5, 9.5, 9, 5));
            break;
        case EIcon::Options:
            p.setPen(QPen(kInk, 2));
            p.drawLine(3, 4, 13, 4);
            p.drawLine(3, 8, 13, 8);
            p.drawLine(3, 12, 13, 12);
            p.setBrush(kGold);
            p.setPen(QPen(kInk, 1));
            p.drawEllipse(QPointF(6, 4), 2, 2);
            p.drawEllipse(QPointF(10, 8), 2, 2);
            p.drawEllipse(QPointF(5, 12), 2, 2);
            break;
        case EIcon::ViewFileData:
            Page(p);
            Lines(p, 5, 12);
            break;
        case EIcon::FindObject:
            p.setPen(QPen(kInk, 2));
            p.setBrush(QColor(200, 225, 250));
            p.drawEllipse(QPointF(6.5, 6.5), 4, 4);
            p.setPen(QPen(kInk, 3));
            p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
            break;
        case EIcon::DefaultCheck:
            Page(p);
            p.setPen(QPen(kGreen, 2));
            p.drawLine(QPointF(5, 9), QPointF(7.5, 11.5));
            p.drawLine(QPointF(7.5, 11.5), QPointF(12, 5));
            break;
        case EIcon::Stop: {
            // A red octagon with a white bar: the sign everyone reads as stop.
            QPolygonF octagon;
            for (int k = 0; k < 8; ++k) {
                const double angle = (22.5 + 45.0 * k) * 3.14159265358979 / 180.0;
                octagon << QPointF(8 + 6.8 * std::cos(angle), 8 + 6.8 * std::sin(angle));
            }
            p.setPen(QPen(kInk, 1));
            p.setBrush(kRed);
            p.drawPolygon(octagon);
            p.fillRect(QRectF(4.5, 6.5, 7, 3), Qt::white);
            break;
        }
        case EIcon::ToggleConflict: Pane(p, 0); break;
        case EIcon::ToggleWarning: Pane(p, 1); break;
        case EIcon::ToggleEditor: Pane(p, 2); break;
        case EIcon::Print:
            p.setPen(QPen(kInk, 1));
            p.setBrush(kPaper);
            p.drawRect(QRectF(4.5, 1.5, 7, 5));
            p.setBrush(QColor(170, 170, 180));
            p.drawRect(QRectF(1.5, 6.5, 13, 6));
            p.setBrush(kPaper);
            p.drawRect(QRectF(4.5, 10.5, 7, 4));
            break;
        case EIcon::About:
            p.setPen(QPen(kInk, 1));
            p.setBrush(kBlue);
            p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
            p.setPen(QPen(Qt::white, 2));
            p.drawLine(QPointF(8, 7), QPointF(8, 12));
            p.drawPoint(QPointF(8, 4.5));
            break;
        case EIcon::TreeRoot:
            p.setPen(QPen(kInk, 1));
            p.setBrush(kGold);
            p.drawRect(QRectF(1.5, 4.5, 13, 9));
            p.drawRect(QRectF(1.5, 3.0, 5, 1.5));
            break;
        case EIcon::TreeFile:
            Page(p, QColor(230, 238, 250));
            Lines(p, 6, 12);
            break;
        case EIcon::App: PaintApp(p); break;
    }
    p.end();
    return QIcon(pm);
}

}  // namespace vantor::icons
