#pragma once

#include <QHttpServer>
#include <QString>
#include <QStringList>

#include <functional>

namespace kelmora::app {

// A stand-in for the central server on a free loopback port: it answers the polls of one branch
// with a round of prepared answers, one per poll, then with answers that hold nothing new.
class ServidorDemo {
public:
    // `respuestas` are JSON payloads; each goes out after five leading characters.
    ServidorDemo(QString codigoSucursal, QStringList respuestas);

    // Listens on 127.0.0.1; false when no port could be had.
    bool escuchar();
    QString url() const;

    // Called once, at the first poll after the round: the service has handled every answer, as it
    // polls again only once the previous answer is done.
    std::function<void()> alTerminarRonda;

private:
    QString responder(const QString& ruta, const QString& codigo);

    QHttpServer http_;
    quint16 puerto_ = 0;
    QString codigo_;
    QStringList respuestas_;
    int entregadas_ = 0;
    bool rondaTerminada_ = false;
};

}  // namespace kelmora::app
