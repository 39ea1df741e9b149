#pragma once

#include <QString>

namespace kelmora::shell {

// The service's log: a few lines that say what happened to the print work, for whoever looks
// after the branch (standard error under systemd, a file on a desktop). One line per answer that
// carried jobs, one per document outcome, one when the server stops or starts answering; nothing
// per empty poll. No customer data (names, phones, addresses) ever goes into it.
// How much a line matters to whoever looks after the branch: the system journal files errors and
// warnings under their priority, so that they can be listed alone.
enum class Gravedad { Nota, Advertencia, Error };

class Bitacora {
public:
    virtual ~Bitacora() = default;
    virtual void anotar(const QString& linea, Gravedad gravedad = Gravedad::Nota) = 0;
};

// A log that keeps nothing, for runs that want none.
class BitacoraNula final : public Bitacora {
public:
    void anotar(const QString&, Gravedad) override {}
};

}  // namespace kelmora::shell
