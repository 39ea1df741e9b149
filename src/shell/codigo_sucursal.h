#pragma once

#include "platform/dialogs.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace kelmora::shell {

// The branch code file in the program folder: line 1 the code, optional line 2 the access mode.
inline const QString kArchivoAcceso = QStringLiteral("Acceso");
// The access-mode word of a support workstation (compared upper-cased).
inline const QString kModoSoporte = QStringLiteral("TECNIKA");

namespace textos {
inline const QString tituloBienvenida = QStringLiteral("Sistema de impresion");
inline const QString mensajeBienvenida = QStringLiteral(
    "Bienvenido al sistema de Impresion de TavrelPOS. Escribe codigo de la sucursal y presiona Aceptar para iniciar");
inline const QString tituloCorreccion = QStringLiteral("Codigo de sucursal");
inline const QString mensajeCorreccion =
    QStringLiteral("No tiene registrado un codigo para esta sucursal, registrelo en el siguiente campo.\r\n"
                   "El codigo de sucursal tiene 15 digitos");
inline const QString tituloCambio = QStringLiteral("Sistema de impresion");
inline const QString mensajeCambio = QStringLiteral("Escribe codigo de la sucursal y presiona Aceptar para iniciar");
// The rule of codigoAceptable, as the messages of the command line state it.
inline const QString reglaCodigo = QStringLiteral("de 15 a 256 caracteres, digitos desde el segundo");
// Why the service does not start when a prompt for the code was cancelled.
inline const QString sinCodigo =
    QStringLiteral("Sin un código de sucursal el servicio de impresión no puede empezar. Ábralo de nuevo para escribirlo.");
}  // namespace textos

// The shortest branch code there is, and the longest one taken: it goes into every poll's address.
inline constexpr qsizetype kLongitudMinimaCodigo = 15;
inline constexpr qsizetype kLongitudMaximaCodigo = 256;

// The program folder + "/Acceso".
QString rutaAcceso(const QString& carpetaPrograma);

// The lines of a text file (CR LF, a lone CR or a lone LF end a line), followed by one extra empty
// entry; three empty entries when the file cannot be read.
QStringList leerLineas(const QString& ruta);

// kLongitudMinimaCodigo to kLongitudMaximaCodigo characters, and digits only from the second
// character on. A code is trimmed of blanks at both ends wherever it is read or typed (a copy often
// brings one along) before this rule is applied.
bool codigoAceptable(const QString& codigo);
// Which part of that rule the code breaks, for whoever typed it ("tiene 12 caracteres y necesita
// al menos 15"); empty when it passes.
QString motivoCodigo(const QString& codigo);

// Replaces the file with the code and CR LF. A file that cannot be written is reported in a
// message naming it, and false is returned: the caller goes on with the code in memory.
bool escribirCodigo(const QString& ruta, const QString& codigo, platform::Dialogs& dialogos);

// The first line of the Acceso file, trimmed; empty when it is missing or unreadable.
QString codigoGuardado(const QString& carpetaPrograma);

// The accepted branch code: from the file, or asked for (welcome prompt on first start, then the
// correction prompt until an accepted code is typed) and stored. nullopt when a prompt is
// cancelled: the service then does not start.
std::optional<QString> leerCodigoSucursal(const QString& carpetaPrograma, platform::Dialogs& dialogos);

// The second line of the Acceso file, empty when there is none.
QString leerModoAcceso(const QString& carpetaPrograma);
bool esModoSoporte(const QString& modoAcceso);

// The settings window's change of code: the change prompt, then the correction prompt while the
// answer fails the rule. Cancelling either prompt keeps the old code and file (nullopt). An accepted
// code is stored and returned; nullopt also when the file could not be written (already reported),
// so the running service keeps its code.
std::optional<QString> cambiarCodigoSucursal(const QString& carpetaPrograma, platform::Dialogs& dialogos);

}  // namespace kelmora::shell
