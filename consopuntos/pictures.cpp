#include "consopuntos/pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace {

QPixmap Blank(int w, int h) {
  QPixmap p(w, h);
  p.fill(Qt::transparent);
  return p;
}

// One arrow: an arc of the circle around c with radius r from `start` over
// `span` degrees, ending in a head.
void Arrow(QPainter& g, QPointF c, double r, double start, double span) {
  QPainterPath arc;
  const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
  arc.arcMoveTo(box, start);
  arc.arcTo(box, start, span);
  QPen outline(Qt::black, 6.5, Qt::SolidLine, Qt::FlatCap);
  g.strokePath(arc, outline);
  g.strokePath(arc, QPen(QColor(40, 170, 40), 4, Qt::SolidLine, Qt::FlatCap));
  const double end = (start + span) * M_PI / 180.0;
  const QPointF tip(c.x() + r * std::cos(end), c.y() - r * std::sin(end));
  // Tangent in the direction of travel (counter-clockwise for positive spans).
  const QPointF dir(-std::sin(end), -std::cos(end));
  const QPointF normal(std::cos(end), -std::sin(end));
  QPolygonF head;
  head << tip + dir * 6 << tip + normal * 6 << tip - normal * 6;
  g.setPen(QPen(Qt::black, 1));
  g.setBrush(QColor(40, 170, 40));
  g.drawPolygon(head);
}

}  // namespace

QPixmap RefreshPicture() {
  QPixmap p = Blank(46, 32);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  const QPointF c(23, 16);
  Arrow(g, c, 10, 20, 130);
  Arrow(g, c, 10, 200, 130);
  return p;
}

QPixmap CancelPicture() {
  QPixmap p = Blank(46, 32);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  QPainterPath cross;
  cross.moveTo(13, 5);
  cross.lineTo(33, 27);
  cross.moveTo(33, 5);
  cross.lineTo(13, 27);
  g.strokePath(cross, QPen(QColor(60, 0, 0), 8, Qt::SolidLine, Qt::RoundCap));
  g.strokePath(cross, QPen(QColor(220, 20, 20), 5, Qt::SolidLine, Qt::RoundCap));
  return p;
}

QPixmap ProgramLogo(int size) {
  QPixmap p = Blank(size, size);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.setRenderHint(QPainter::TextAntialiasing);
  g.scale(size / 32.0, size / 32.0);  // drawn on a 32 x 32 grid
  g.setPen(QPen(QColor(0, 0, 90), 2));
  g.setBrush(QColor(255, 200, 40));
  g.drawEllipse(QRectF(2, 2, 28, 28));
  QFont f(QStringLiteral("Sans"));
  f.setBold(true);
  f.setPixelSize(15);
  g.setFont(f);
  g.setPen(QColor(0, 0, 90));
  g.drawText(QRectF(2, 2, 28, 28), Qt::AlignCenter, QStringLiteral("P+"));
  return p;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) icon.addPixmap(ProgramLogo(size));
  return icon;
}
