#pragma once

#include <QApplication>

#include <gtest/gtest.h>

#include <memory>

namespace kelmora::testing {

// Widget tests need one QApplication for the whole run; an environment owns it so it goes before
// the program's statics do.
class AplicacionDeWidgets final : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char nombre[] = "kelmora-tests";
        static char* argv[] = {nombre, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const kAplicacionDeWidgets =
    ::testing::AddGlobalTestEnvironment(new AplicacionDeWidgets);

}  // namespace kelmora::testing
