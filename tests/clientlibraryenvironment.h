#pragma once

// The client library's set-up around a whole GoogleTest program that talks to the server:
// included by one source file of the program, it starts the library before the first test and
// ends it after the last.

#include "db/clientlibrary.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class ClientLibraryEnvironment : public testing::Environment
{
public:
    void SetUp() override { library = std::make_unique<ClientLibraryScope>(); }
    void TearDown() override { library.reset(); }

private:
    std::unique_ptr<ClientLibraryScope> library;
};

[[maybe_unused]] testing::Environment *const clientLibrary =
    testing::AddGlobalTestEnvironment(new ClientLibraryEnvironment);

} // namespace
