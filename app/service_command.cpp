// kelmora [options]: the print service.
#include "commands.h"
#include "servicio.h"

#include <QStringList>

#include <cstdio>

namespace kelmora::app {

int runService(int argc, char** argv) {
    QStringList argumentos;
    for (int i = 1; i < argc; ++i) argumentos.append(QString::fromLocal8Bit(argv[i]));
    const auto leidas = leerOpciones(argumentos);
    if (const auto* ayuda = std::get_if<PedidoAyuda>(&leidas)) {
        std::fputs(qPrintable(ayuda->texto), stdout);
        return kSalidaNormal;
    }
    if (const QString* error = std::get_if<QString>(&leidas)) {
        std::fputs(qPrintable(QStringLiteral("kelmora: ") + *error + QStringLiteral("\nkelmora --help lists the options\n")),
                   stderr);
        return kSalidaUso;
    }
    OpcionesServicio opciones = std::get<OpcionesServicio>(leidas);
    const Aplicacion aplicacion = crearAplicacion(argc, argv, opciones.sinVentanas);
    return ejecutarServicio(std::move(opciones), aplicacion.sinVentanas);
}

}  // namespace kelmora::app
