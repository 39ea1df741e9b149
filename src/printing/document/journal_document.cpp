#include "printing/document/journal_document.h"

#include <array>
#include <utility>

namespace kelmora::paper {

namespace {

// Stored in the journal and shown to staff: the words must not change.
constexpr std::array<std::pair<DocumentState, const char*>, 8> kStateNames{{
    {DocumentState::Pending, "pendiente"},
    {DocumentState::Sending, "enviando"},
    {DocumentState::Sent, "enviado"},
    {DocumentState::Printed, "impreso"},
    {DocumentState::Held, "retenido"},
    {DocumentState::Failed, "fallido"},
    {DocumentState::Expired, "vencido"},
    {DocumentState::Discarded, "descartado"},
}};

}  // namespace

QString stateName(DocumentState state) {
    for (const auto& [s, name] : kStateNames) {
        if (s == state) return QString::fromLatin1(name);
    }
    return {};
}

std::optional<DocumentState> stateNamed(const QString& name) {
    for (const auto& [s, n] : kStateNames) {
        if (name == QLatin1String(n)) return s;
    }
    return std::nullopt;
}

}  // namespace kelmora::paper
