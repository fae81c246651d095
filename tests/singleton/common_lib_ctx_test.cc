// The common library context: one per process however many threads ask first, and what its
// release says about sinks left behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "common/common_lib_ctx.h"
#include "io/cout_multiplexor.h"
#include "logging/process_logger.h"
#include "logging/receiver/memory_log.h"
#include "tests/singleton/run_together.h"

namespace common {
namespace {

using namespace ::testing;

// Must run before anything else in this process touches the context.
TEST(CommonLibCtx, ConcurrentFirstRequestsShareOneContext) {
  ASSERT_EQ(CCommonLibCtx::Constructions(), 0u);
  const auto seen = commontest::RunTogether(8, [] { return GetCommonLibCtx(); });
  ASSERT_TRUE(seen[0]);
  for (const auto& ctx : seen) EXPECT_EQ(ctx, seen[0]);
  EXPECT_EQ(CCommonLibCtx::Constructions(), 1u);
  EXPECT_EQ(GetCommonLibCtx(), seen[0]);
}

TEST(CommonLibCtx, ReleaseClearsLeftoverSinksAndSaysSo) {
  auto memory = boost::make_shared<logging::receiver::CMemoryLog>();
  logging::scoped_receiver_t attach(memory);

  auto quiet = boost::make_shared<CCommonLibCtx>();
  quiet.reset();
  EXPECT_THAT(memory->records(), Not(Contains(HasSubstr("cout multiplexors"))));

  auto ctx = boost::make_shared<CCommonLibCtx>();
  auto cout = ctx->CoutMultiplexor();
  cout->Add([](std::string_view) {});
  ctx.reset();
  EXPECT_EQ(cout->Size(), 0u);
  EXPECT_THAT(memory->records(), Contains(HasSubstr("Clearing collection of cout multiplexors.")));
  EXPECT_THAT(memory->records(), Contains(HasSubstr("cli")));
}

}  // namespace
}  // namespace common
