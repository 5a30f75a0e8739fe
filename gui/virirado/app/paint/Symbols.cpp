#include "Symbols.hpp"

#include <QPainter>
#include <QPainterPath>
#include <functional>
#include <map>

namespace virirado::Symbols {

namespace {

// Each glyph draws in a 24 by 24 box; the painter is already scaled and translated.
using Glyph = std::function<void(QPainter&, const QColor&)>;

QPen line(const QColor& color, double width = 2.2) {
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void stroke(QPainter& p, const QColor& c, const QPainterPath& path, double width = 2.2) {
    p.setPen(line(c, width));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void fill(QPainter& p, const QColor& c, const QPainterPath& path) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(path);
}

QPainterPath polyline(std::initializer_list<QPointF> points) {
    QPainterPath path;
    bool first = true;
    for (const QPointF& pt : points) {
        if (first) {
            path.moveTo(pt);
            first = false;
        } else {
            path.lineTo(pt);
        }
    }
    return path;
}

// A page with a folded corner, the base of the document glyphs.
QPainterPath page() {
    QPainterPath path;
    path.moveTo(6, 2.5);
    path.lineTo(14, 2.5);
    path.lineTo(19, 7.5);
    path.lineTo(19, 21.5);
    path.lineTo(6, 21.5);
    path.closeSubpath();
    path.moveTo(14, 2.5);
    path.lineTo(14, 7.5);
    path.lineTo(19, 7.5);
    return path;
}

const std::map<QString, Glyph>& glyphs() {
    static const std::map<QString, Glyph> table{
        {"magnifyingglass",
         [](QPainter& p, const QColor& c) {
             QPainterPath path;
             path.addEllipse(QPointF(10, 10), 6.5, 6.5);
             path.moveTo(14.8, 14.8);
             path.lineTo(21, 21);
             stroke(p, c, path, 2.8);
         }},
        {"xmark.circle.fill",
         [](QPainter& p, const QColor& c) {
             QPainterPath disc;
             disc.addEllipse(QPointF(12, 12), 10, 10);
             QPainterPath cross = polyline({{8, 8}, {16, 16}});
             cross.moveTo(16, 8);
             cross.lineTo(8, 16);
             QPainterPathStroker stroker(line(c, 2.4));
             fill(p, c, disc.subtracted(stroker.createStroke(cross)));
         }},
        {"info.circle",
         [](QPainter& p, const QColor& c) {
             QPainterPath ring;
             ring.addEllipse(QPointF(12, 12), 9.5, 9.5);
             stroke(p, c, ring, 2.0);
             stroke(p, c, polyline({{12, 11}, {12, 17}}), 2.4);
             QPainterPath dot;
             dot.addEllipse(QPointF(12, 7.3), 1.5, 1.5);
             fill(p, c, dot);
         }},
        {"lock",
         [](QPainter& p, const QColor& c) {
             QPainterPath body;
             body.addRoundedRect(QRectF(5, 10.5, 14, 11), 2.5, 2.5);
             stroke(p, c, body, 2.0);
             QPainterPath shackle;
             shackle.moveTo(8, 10.5);
             shackle.lineTo(8, 7.5);
             shackle.arcTo(QRectF(8, 3, 8, 9), 180, -180);
             shackle.lineTo(16, 10.5);
             stroke(p, c, shackle, 2.0);
         }},
        {"play.fill",
         [](QPainter& p, const QColor& c) {
             QPainterPath tri = polyline({{7, 4}, {20, 12}, {7, 20}});
             tri.closeSubpath();
             fill(p, c, tri);
         }},
        {"chevron.right",
         [](QPainter& p, const QColor& c) {
             stroke(p, c, polyline({{9, 5}, {16, 12}, {9, 19}}), 2.6);
         }},
        {"checkmark",
         [](QPainter& p, const QColor& c) {
             stroke(p, c, polyline({{5, 12.5}, {10, 17.5}, {19.5, 6.5}}), 3.0);
         }},
        {"minus",
         [](QPainter& p, const QColor& c) {
             stroke(p, c, polyline({{5, 12}, {19, 12}}), 3.0);
         }},
        {"checkmark.circle.fill",
         [](QPainter& p, const QColor& c) {
             QPainterPath disc;
             disc.addEllipse(QPointF(12, 12), 10, 10);
             QPainterPathStroker stroker(line(c, 2.4));
             fill(p, c,
                  disc.subtracted(
                      stroker.createStroke(polyline({{7, 12.5}, {10.5, 16}, {17, 8.5}}))));
         }},
        {"folder",
         [](QPainter& p, const QColor& c) {
             QPainterPath path =
                 polyline({{2.5, 6}, {9, 6}, {11, 8}, {21.5, 8}, {21.5, 19}, {2.5, 19}});
             path.closeSubpath();
             stroke(p, c, path, 2.0);
         }},
        {"eye",
         [](QPainter& p, const QColor& c) {
             QPainterPath lid;
             lid.moveTo(2, 12);
             lid.quadTo(12, 2, 22, 12);
             lid.quadTo(12, 22, 2, 12);
             stroke(p, c, lid, 2.0);
             QPainterPath pupil;
             pupil.addEllipse(QPointF(12, 12), 3.2, 3.2);
             fill(p, c, pupil);
         }},
        {"doc", [](QPainter& p, const QColor& c) { stroke(p, c, page(), 1.8); }},
        {"doc.text",
         [](QPainter& p, const QColor& c) {
             stroke(p, c, page(), 1.8);
             QPainterPath text = polyline({{9, 12}, {16, 12}});
             text.moveTo(9, 15);
             text.lineTo(16, 15);
             text.moveTo(9, 18);
             text.lineTo(13.5, 18);
             stroke(p, c, text, 1.6);
         }},
        {"film",
         [](QPainter& p, const QColor& c) {
             QPainterPath frame;
             frame.addRoundedRect(QRectF(3, 4, 18, 16), 2, 2);
             stroke(p, c, frame, 1.8);
             QPainterPath holes = polyline({{7, 4}, {7, 20}});
             holes.moveTo(17, 4);
             holes.lineTo(17, 20);
             holes.moveTo(3, 12);
             holes.lineTo(21, 12);
             stroke(p, c, holes, 1.6);
         }},
        {"music.note",
         [](QPainter& p, const QColor& c) {
             QPainterPath head;
             head.addEllipse(QPointF(8.5, 18), 3.5, 2.8);
             fill(p, c, head);
             stroke(p, c, polyline({{11.8, 18}, {11.8, 3.5}, {19, 6}}), 2.0);
         }},
        {"photo",
         [](QPainter& p, const QColor& c) {
             QPainterPath frame;
             frame.addRoundedRect(QRectF(2.5, 4.5, 19, 15), 2.5, 2.5);
             stroke(p, c, frame, 1.8);
             QPainterPath hills =
                 polyline({{4, 18}, {9.5, 11.5}, {13, 15}, {15.5, 12.5}, {20, 18}});
             stroke(p, c, hills, 1.6);
             QPainterPath sun;
             sun.addEllipse(QPointF(16, 9), 1.7, 1.7);
             fill(p, c, sun);
         }},
        {"archivebox",
         [](QPainter& p, const QColor& c) {
             QPainterPath lid;
             lid.addRoundedRect(QRectF(2.5, 4, 19, 5), 1.2, 1.2);
             QPainterPath box = polyline({{4, 9}, {4, 20}, {20, 20}, {20, 9}});
             box.moveTo(9.5, 13);
             box.lineTo(14.5, 13);
             stroke(p, c, lid, 1.8);
             stroke(p, c, box, 1.8);
         }},
        {"chevron.left.forwardslash.chevron.right",
         [](QPainter& p, const QColor& c) {
             QPainterPath path = polyline({{7, 7}, {2, 12}, {7, 17}});
             path.moveTo(17, 7);
             path.lineTo(22, 12);
             path.lineTo(17, 17);
             path.moveTo(14, 4.5);
             path.lineTo(10, 19.5);
             stroke(p, c, path, 2.0);
         }},
        {"rectangle.on.rectangle",
         [](QPainter& p, const QColor& c) {
             // The card behind shows only above and to the right of the front one.
             stroke(p, c, polyline({{7, 9.5}, {7, 3.5}, {21, 3.5}, {21, 14.5}, {17, 14.5}}), 1.8);
             QPainterPath front;
             front.addRoundedRect(QRectF(3, 9.5, 14, 11), 2, 2);
             stroke(p, c, front, 1.8);
         }},
    };
    return table;
}

}  // namespace

bool known(const QString& name) {
    return glyphs().contains(name);
}

bool paint(QPainter& painter, const QString& name, const QRectF& box, const QColor& color) {
    const auto it = glyphs().find(name);
    if (it == glyphs().end() || box.width() <= 0 || box.height() <= 0) return false;
    const double side = std::min(box.width(), box.height());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.center().x() - side / 2, box.center().y() - side / 2);
    painter.scale(side / 24.0, side / 24.0);
    it->second(painter, color);
    painter.restore();
    return true;
}

}  // namespace virirado::Symbols
