// The common library context: one per process however many threads ask first, its services
// and option copy, and what its release says about sinks left behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "common/common_lib_ctx.h"
#include "common/runtime_key_store.h"
#include "io/cout_multiplexor.h"
#include "io/memory_stream.h"
#include "io/message/generic_message.h"
#include "io/message/message_deserialization_context.h"
#include "logging/process_logger.h"
#include "logging/receiver/memory_log.h"
#include "tests/common/run_together.h"

namespace common {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

// Must run before anything else in this process touches the context.
TEST(CommonLibCtx, ConcurrentFirstRequestsShareOneContext) {
  ASSERT_EQ(CCommonLibCtx::Constructions(), 0u);
  const auto seen = commontest::RunTogether(8, [] { return GetCommonLibCtx(); });
  ASSERT_TRUE(seen[0]);
  for (const auto& ctx : seen) EXPECT_EQ(ctx, seen[0]);
  EXPECT_EQ(CCommonLibCtx::Constructions(), 1u);
  EXPECT_EQ(GetCommonLibCtx(), seen[0]);
}

TEST(CommonLibCtx, CopiesTheSettingAndCanReadMessages) {
  const auto ctx = GetCommonLibCtx();
  EXPECT_EQ(ctx->Setting(), 60u);

  // The message context came with the generic factory registered.
  io::CMemoryOutputStream out;
  io::message::CGenericMessage().Serialize(out);
  io::CMemoryInputStream in(out.Data());
  EXPECT_TRUE(ctx->MessageContext()->Create({0, 0}, in));
}

TEST(CommonLibCtx, ServicesOutliveAReleasedContext) {
  auto ctx = boost::make_shared<CCommonLibCtx>();
  auto keys = ctx->KeyStore();
  const auto key = keys->GetKey("k", 16);
  ctx.reset();
  EXPECT_EQ(keys->GetKey("k", 16), key);
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
