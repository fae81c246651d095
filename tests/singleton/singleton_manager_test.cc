// The installer's exclusive lock against a singleton that tries to reinstall the manager.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/singleton_manager.h"
#include "exc/exceptions.h"
#include "tests/exc/what_of.h"

namespace common {
namespace {

// Tries to reinstall the manager from inside a request.
struct Reinstaller {
  Reinstaller() { CSingletonManagerInstaller installer; }
};

TEST(SingletonManagerTest, InstallerInsideRequestRefusesInsteadOfHanging) {
  InstallSingletonManager();
  EXPECT_THAT(exctest::WhatOf<exc::runtime_exc_t>([] { GetSingleton<Reinstaller>(); }),
              ::testing::HasSubstr("cannot be installed or removed inside a singleton"));
  RemoveSingletonManager();
}

}  // namespace
}  // namespace common
