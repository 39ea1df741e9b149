#pragma once

#include <QString>

#include <optional>

namespace kelmora {

// What a document of an answer is: each kind comes from a list of the answer (the drawer from
// its flag) and carries its name in the journal, in its job's title and in the log.
enum class ClaseDocumento { Comanda, Anulacion, Factura, Cajon };

// The name kept in the journal and in job titles: "Comanda", "Anulacion", "Factura", "Cajon".
QString nombreClase(ClaseDocumento clase);
// The same name as staff read it, with its accents: "Anulación", "Cajón".
QString nombreClaseLegible(ClaseDocumento clase);
// The kind of a name kept in the journal; nullopt for a name that is none.
std::optional<ClaseDocumento> claseDocumento(const QString& nombre);
// The answer's list the kind comes from: comanda, anulaciones, factura; abrirCajon for the drawer.
QString listaDeClase(ClaseDocumento clase);

}  // namespace kelmora
