#pragma once

#include "platform/dialogs.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <vector>

namespace kelmora::testing {

// The window's prompts, message boxes and file dialog answered from a script; what was shown is
// recorded in order.
class DialogosGuionados final : public platform::Dialogs {
public:
    enum class Tipo { Pregunta, Mensaje, Archivo };
    struct Mostrado {
        Tipo tipo;
        QString titulo;
        QString texto;  // the prompt's or message's text; the file dialog's filters joined by "|"
        std::optional<platform::MessageIcon> icono;
    };

    std::optional<QString> askText(const QString& titulo, const QString& mensaje) override {
        mostrados.push_back({Tipo::Pregunta, titulo, mensaje, std::nullopt});
        if (respuestas.empty()) {
            ADD_FAILURE() << "unexpected prompt: " << titulo.toStdString();
            return std::nullopt;
        }
        const bool respondida = respuestas.front().has_value();
        const QString respuesta = respuestas.front().value_or(QString());
        respuestas.pop_front();
        if (!respondida) return std::nullopt;
        return respuesta;
    }
    void showMessage(const QString& texto, platform::MessageIcon icono, const QString& titulo) override {
        mostrados.push_back({Tipo::Mensaje, titulo, texto, icono});
    }
    std::optional<QString> chooseFile(const QString& titulo, const QStringList& filtros) override {
        mostrados.push_back({Tipo::Archivo, titulo, filtros.join(u'|'), std::nullopt});
        return archivo;
    }

    std::vector<Mostrado> solo(Tipo tipo) const {
        std::vector<Mostrado> lista;
        for (const Mostrado& m : mostrados)
            if (m.tipo == tipo) lista.push_back(m);
        return lista;
    }

    std::deque<std::optional<QString>> respuestas;  // nullopt: the user cancels
    std::optional<QString> archivo;                 // the file dialog's choice; nullopt: none
    std::vector<Mostrado> mostrados;
};

}  // namespace kelmora::testing
