// The services the context owns: console fan-out, runtime keys, shared device handles,
// unrestricted file permissions, and the socket-layer reference count.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/runtime_key_store.h"
#include "common/unrestricted_files_access_permissions.h"
#include "common/winsock_ref.h"
#include "exc/exceptions.h"
#include "io/cout_multiplexor.h"
#include "io/io_dev_pool.h"
#include "tests/exc/what_of.h"

namespace {

TEST(CoutMultiplexor, SinkMayRemoveItselfWhileWriting) {
  io::CCoutMultiplexor mux;
  uint64_t id = 0;
  int calls = 0;
  id = mux.Add([&](std::string_view) {
    ++calls;
    mux.Remove(id);
  });
  mux.Write("once");
  mux.Write("twice");
  EXPECT_EQ(calls, 1);
}

TEST(RuntimeKeyStore, KeysAreRandomStableAndSized) {
  common::CRuntimeKeyStore store;
  const auto a = store.GetKey("a", 32);
  const auto b = store.GetKey("b", 32);
  ASSERT_EQ(a->size(), 32u);
  EXPECT_NE(*a, *b);
  EXPECT_EQ(store.GetKey("a", 32), a);
  EXPECT_THROW(store.GetKey("a", 16), exc::runtime_exc_t);
  EXPECT_TRUE(store.GetKey("empty", 0)->empty());
  EXPECT_EQ(store.Size(), 3u);
}

TEST(DevicePool, SharesOpenHandlesAndReopensAfterRelease) {
  io::io_dev_pool_t pool;
  auto first = pool.Open("/dev/null", O_RDONLY);
  auto again = pool.Open("/dev/null", O_RDONLY);
  EXPECT_EQ(first, again);
  auto writer = pool.Open("/dev/null", O_WRONLY);
  EXPECT_NE(writer, first) << "other flags, other handle";
  EXPECT_EQ(pool.Size(), 2u);

  const int fd = first->fd();
  first.reset();
  again.reset();
  EXPECT_EQ(pool.Size(), 1u);
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1) << "the last user closed the descriptor";
  EXPECT_TRUE(pool.Open("/dev/null", O_RDONLY));
}

TEST(DevicePool, FailedOpenNamesThePath) {
  io::io_dev_pool_t pool;
  EXPECT_EQ(exctest::WhatOf<exc::runtime_exc_t>(
                [&] { pool.Open("/nonexistent/zelqa-device", O_RDONLY); }),
            "Failed to open device [/nonexistent/zelqa-device]: No such file or directory");
  EXPECT_EQ(pool.Size(), 0u);
}

TEST(UnrestrictedFilesAccessPermissions, OpensFilesAndDirectoriesToEveryone) {
  char dir_template[] = "/tmp/zelqa-perm-XXXXXX";
  ASSERT_TRUE(::mkdtemp(dir_template));
  const std::string dir = dir_template;
  const std::string file = dir + "/f";
  const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ::close(fd);

  common::CUnrestrictedFilesAccessPermissions permissions;
  permissions.ApplyTo(file);
  permissions.ApplyTo(dir);
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u);
  ASSERT_EQ(::stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0777u);
  EXPECT_THROW(permissions.ApplyTo(dir + "/missing"), exc::runtime_exc_t);
  std::filesystem::remove_all(dir);
}

TEST(WinsockRef, StartsOnFirstAndCleansUpOnLastReference) {
  // The library holds its own reference from load to exit.
  const uint32_t base = common::winsock_ref_t::Count();
  ASSERT_GE(base, 1u);
  const uint32_t startups = common::winsock_ref_t::Startups();
  const uint32_t cleanups = common::winsock_ref_t::Cleanups();
  {
    common::winsock_ref_t a;
    common::winsock_ref_t b;
    EXPECT_EQ(common::winsock_ref_t::Count(), base + 2);
  }
  EXPECT_EQ(common::winsock_ref_t::Count(), base);
  EXPECT_EQ(common::winsock_ref_t::Startups(), startups) << "still referenced: no new start-up";
  EXPECT_EQ(common::winsock_ref_t::Cleanups(), cleanups);
}

}  // namespace
