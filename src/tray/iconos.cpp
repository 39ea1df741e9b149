#include "tray/iconos.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace kelmora::tray {

namespace {

// Pictures are drawn on a 16-unit grid and scaled to each size.
using Dibujo = std::function<void(QPainter&)>;

QIcon dibujar(const Dibujo& dibujo) {
    QIcon icono;
    for (const int lado : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(lado, lado);
        pixmap.fill(Qt::transparent);
        QPainter pintor(&pixmap);
        pintor.setRenderHint(QPainter::Antialiasing);
        pintor.scale(lado / 16.0, lado / 16.0);
        dibujo(pintor);
        pintor.end();
        icono.addPixmap(pixmap);
    }
    return icono;
}

void punto(QPainter& pintor, const QColor& relleno) {
    pintor.setPen(QPen(relleno.darker(150), 1));
    pintor.setBrush(relleno);
    pintor.drawEllipse(QRectF(1.5, 1.5, 13, 13));
}

QPen trazo() {
    QPen lapiz(Qt::white, 2.2);
    lapiz.setCapStyle(Qt::RoundCap);
    lapiz.setJoinStyle(Qt::RoundJoin);
    return lapiz;
}

}  // namespace

QIcon iconoAplicacion() {
    return dibujar([](QPainter& p) {
        p.setPen(QPen(QColor(40, 40, 40), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));  // paper going in
        p.setBrush(QColor(60, 90, 140));
        p.drawRoundedRect(QRectF(1.5, 5.5, 13, 6), 1.5, 1.5);  // body
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 9.5, 7, 5));  // ticket coming out
        p.setPen(QPen(QColor(120, 120, 120), 1));
        p.drawLine(QPointF(6, 11.5), QPointF(10, 11.5));
        p.drawLine(QPointF(6, 13), QPointF(9, 13));
    });
}

QIcon iconoConectado() {
    return dibujar([](QPainter& p) { punto(p, QColor(46, 160, 67)); });
}

QIcon iconoDesconectado() {
    return dibujar([](QPainter& p) {
        punto(p, QColor(150, 150, 150));
        QPen lapiz(QColor(200, 40, 40), 2.2);
        lapiz.setCapStyle(Qt::RoundCap);
        p.setPen(lapiz);
        p.drawLine(QPointF(4.5, 8), QPointF(11.5, 8));
    });
}

QIcon iconoOK() {
    return dibujar([](QPainter& p) {
        punto(p, QColor(30, 110, 200));
        p.setPen(trazo());
        QPainterPath visto;
        visto.moveTo(4.5, 8.2);
        visto.lineTo(7, 10.7);
        visto.lineTo(11.5, 5.5);
        p.setBrush(Qt::NoBrush);
        p.drawPath(visto);
    });
}

QIcon iconoError() {
    return dibujar([](QPainter& p) {
        punto(p, QColor(200, 40, 40));
        p.setPen(trazo());
        p.drawLine(QPointF(5.3, 5.3), QPointF(10.7, 10.7));
        p.drawLine(QPointF(10.7, 5.3), QPointF(5.3, 10.7));
    });
}

}  // namespace kelmora::tray
