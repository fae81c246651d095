// Singleton requests with and without an installed manager, failed constructions, requests
// from many threads, and the installer's exclusive lock.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

#include "common/singleton_manager.h"
#include "exc/exceptions.h"
#include "tests/common/run_together.h"
#include "tests/exc/what_of.h"

namespace common {
namespace {

struct Counted {
  static inline std::atomic<int> constructed{0};
  Counted() {
    ++constructed;
    // Widen the window in which racing first requests could build a second instance.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
};

struct Failing {
  static inline std::atomic<int> attempts{0};
  Failing() {
    ++attempts;
    throw std::runtime_error("disk on fire");
  }
};

struct Leaf {
  int value = 7;
};

// Asks for another singleton while being built, on the same thread.
struct Composite {
  boost::shared_ptr<Leaf> leaf = GetSingleton<Leaf>();
};

// Tries to reinstall the manager from inside a request.
struct Reinstaller {
  Reinstaller() { CSingletonManagerInstaller installer; }
};

class SingletonManagerTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallSingletonManager(); }
  void TearDown() override { RemoveSingletonManager(); }
};

template <class T>
std::string TypeName() {
  return boost::core::demangle(typeid(T).name());
}

TEST(SingletonManagerAbsent, RequestFailsWithChainedMessages) {
  ASSERT_FALSE(RemoveSingletonManager()) << "no manager is installed by default";
  EXPECT_EQ(exctest::WhatOf<CSingletonManagerIsNotInitializedExc>([] { GetSingleton<Leaf>(); }),
            "Singleton manager is not initialized\nFailed to get singleton. Type: [" +
                TypeName<Leaf>() + "]");
}

TEST_F(SingletonManagerTest, SameInstanceBuiltOnceAcrossThreads) {
  Counted::constructed = 0;
  const auto seen = commontest::RunTogether(8, [] { return GetSingleton<Counted>(); });
  for (const auto& instance : seen) EXPECT_EQ(instance, seen[0]);
  EXPECT_EQ(Counted::constructed, 1);
}

TEST_F(SingletonManagerTest, FailedConstructionIsNotRetried) {
  Failing::attempts = 0;
  const std::string type = TypeName<Failing>();
  EXPECT_EQ(exctest::WhatOf<exc::runtime_exc_t>([] { GetSingleton<Failing>(); }),
            "disk on fire\nFailed to get singleton. Type: [" + type + "]");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(exctest::WhatOf<CSingletonIsNotInitializedExc>([] { GetSingleton<Failing>(); }),
              "Singleton is not created. Type: [" + type + "]\nFailed to get singleton. Type: [" +
                  type + "]");
  }
  EXPECT_EQ(Failing::attempts, 1);
}

TEST_F(SingletonManagerTest, ConstructorMayAskForOtherSingletons) {
  auto composite = GetSingleton<Composite>();
  EXPECT_EQ(composite->leaf, GetSingleton<Leaf>());
  EXPECT_EQ(composite->leaf->value, 7);
}

TEST_F(SingletonManagerTest, InstallerInsideRequestRefusesInsteadOfHanging) {
  EXPECT_THAT(exctest::WhatOf<exc::runtime_exc_t>([] { GetSingleton<Reinstaller>(); }),
              ::testing::HasSubstr("cannot be installed or removed inside a singleton"));
}

TEST_F(SingletonManagerTest, RequestsFailAtOnceWhileInstallerHoldsTheLock) {
  std::promise<void> locked;
  std::promise<void> release;
  std::thread holder([&] {
    CSingletonManagerInstaller installer;
    EXPECT_TRUE(installer.IsInstalled());
    locked.set_value();
    release.get_future().wait();
  });
  locked.get_future().wait();
  try {
    GetSingleton<Leaf>();
    ADD_FAILURE() << "request went through a held lock";
  } catch (const CSingletonManagerIsNotInitializedExc& e) {
    EXPECT_EQ(std::string(e.what()),
              "Singleton manager is locked for initializion\nFailed to "
              "get singleton. Type: [" +
                  TypeName<Leaf>() + "]");
  }
  release.set_value();
  holder.join();
  EXPECT_TRUE(GetSingleton<Leaf>());
}

TEST_F(SingletonManagerTest, InstancesOutliveTheirManager) {
  auto leaf = GetSingleton<Leaf>();
  leaf->value = 99;
  EXPECT_THROW(InstallSingletonManager(), exc::runtime_exc_t) << "one manager at a time";
  EXPECT_TRUE(RemoveSingletonManager());
  EXPECT_FALSE(RemoveSingletonManager());
  EXPECT_EQ(leaf->value, 99);
  EXPECT_THROW(GetSingleton<Leaf>(), CSingletonManagerIsNotInitializedExc);

  InstallSingletonManager();
  auto fresh = GetSingleton<Leaf>();
  EXPECT_NE(fresh, leaf) << "a new manager starts with an empty table";
  EXPECT_EQ(fresh->value, 7);
}

}  // namespace
}  // namespace common
