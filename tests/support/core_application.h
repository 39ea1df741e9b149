#pragma once

// The application object every test that runs an event loop needs (sockets, the receipt printer
// stand-in's thread, a process run and waited on): made before the first test, gone after the last.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>

namespace kelmora::testing {

class CoreApp final : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "kelmora-tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QCoreApplication> app_;
};
inline ::testing::Environment* const kCoreApp = ::testing::AddGlobalTestEnvironment(new CoreApp);

}  // namespace kelmora::testing
