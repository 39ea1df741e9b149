#pragma once

#include <QString>

namespace kelmora::shell {

// The service's log: a few lines that say what happened to the print work, for whoever looks
// after the branch (standard error under systemd, a file on a desktop). One line per answer that
// carried jobs, one per document outcome, one when the server stops or starts answering; nothing
// per empty poll. No customer data (names, phones, addresses) ever goes into it.
class Bitacora {
public:
    virtual ~Bitacora() = default;
    virtual void anotar(const QString& linea) = 0;
};

// A log that keeps nothing, for runs that want none.
class BitacoraNula final : public Bitacora {
public:
    void anotar(const QString&) override {}
};

}  // namespace kelmora::shell
