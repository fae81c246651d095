#include <gtest/gtest.h>

#include "rpcrt/client/binding.h"
#include "rpcrt/client/endpoint_mapper.h"
#include "rpcrt/epm/epm_messages.h"
#include "rpcrt/epm/tower.h"
#include "rpcrt/server/endpoint_mapper_server.h"
#include "rpcrt/status.h"
#include "tests/rpcrt/test_server.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt {
namespace {

class EndpointMapper : public ::testing::Test {
 protected:
  void SetUp() override {
    server::ServerOptions options;
    mapper_ = std::make_unique<server::EndpointMapperServer>(options);
    mapper_->Start();
    echo_ = testing::StartEchoServer();
  }
  uint16_t mapper_port() const { return mapper_->port(); }

  std::unique_ptr<server::EndpointMapperServer> mapper_;
  std::unique_ptr<server::Server> echo_;
};

TEST_F(EndpointMapper, MapResolvesABindingWithoutEndpoint) {
  mapper_->Register(testing::kEchoInterface, echo_->port(), "echo");
  EXPECT_EQ(client::EptMap("127.0.0.1", mapper_port(), testing::kEchoInterface,
                           client::kComTimeoutDefault, 5000),
            echo_->port());
  client::Binding binding(client::StringBinding::Parse("ncacn_ip_tcp:127.0.0.1"));
  binding.SetEndpointMapperPort(mapper_port());
  EXPECT_FALSE(binding.port());
  auto reply = binding.Call(testing::kEchoInterface, testing::kOpSized, testing::U32Stub(3));
  EXPECT_EQ(reply.stub.size(), 3u);
  EXPECT_EQ(binding.port(), echo_->port());
}

TEST_F(EndpointMapper, UnregisteredInterfaceIsEptNotRegistered) {
  mapper_->Register(testing::kEchoInterface, echo_->port());
  EXPECT_EQ(testing::StatusOf([this] {
              client::EptMap("127.0.0.1", mapper_port(), testing::kOtherInterface,
                             client::kComTimeoutDefault, 5000);
            }),
            kEptNotRegistered);
  // A newer major version than registered does not match either.
  SyntaxId v2 = testing::kEchoInterface;
  v2.version_major = 2;
  EXPECT_THROW(client::EptMap("127.0.0.1", mapper_port(), v2, client::kComTimeoutDefault, 5000),
               RpcError);
}

TEST_F(EndpointMapper, MapperDownIsServerUnavailable) {
  mapper_->Stop();
  EXPECT_EQ(testing::StatusOf([this] {
              client::EptMap("127.0.0.1", mapper_port(), testing::kEchoInterface,
                             client::kComTimeoutDefault, 5000);
            }),
            kServerUnavailable);
}

TEST_F(EndpointMapper, LookupListsEveryEntryAcrossBatches) {
  EXPECT_TRUE(client::EptLookup("127.0.0.1", mapper_port(), {}).empty());
  // More than one batch: a full one leaves the lookup open, the shorter last one closes it.
  for (uint16_t i = 0; i < 150; ++i) {
    // Two full batches, then one with nothing left.
    if (i == 128) {
      EXPECT_EQ(client::EptLookup("127.0.0.1", mapper_port(), {}).size(), 128u);
    }
    SyntaxId id = testing::kOtherInterface;
    id.uuid.data1 = i;
    mapper_->Register(id, static_cast<uint16_t>(20000 + i), "entry " + std::to_string(i));
  }
  auto entries = client::EptLookup("127.0.0.1", mapper_port(), {});
  ASSERT_EQ(entries.size(), 150u);
  for (uint16_t i = 0; i < 150; ++i) {
    EXPECT_EQ(entries[i].interface_id.uuid.data1, i);
    EXPECT_EQ(entries[i].port, 20000 + i);
    EXPECT_EQ(entries[i].annotation, "entry " + std::to_string(i));
    EXPECT_EQ(entries[i].string_binding,
              "ncacn_ip_tcp:127.0.0.1[" + std::to_string(20000 + i) + "]");
  }
}

// A mapper that answers every ept_lookup with `batch` entries (towers of `tower_size` octets)
// and an entry handle that asks for more, for ever.
std::unique_ptr<server::Server> FloodingMapper(uint32_t batch, size_t tower_size) {
  auto mapper = std::make_unique<server::Server>(server::ServerOptions{});
  std::vector<uint8_t> tower = epm::EncodeTcpTower({testing::kEchoInterface, kNdrSyntax, 1, {}});
  if (tower_size > tower.size()) {
    auto floors = epm::DecodeTowerFloors(tower);
    floors.push_back({{0x21}, std::vector<uint8_t>(tower_size - tower.size() - 4, 0)});
    tower = epm::EncodeTowerFloors(floors);
  }
  epm::EptLookupResponse response;
  response.entry_handle.uuid.data1 = 1;
  response.max_ents = batch;
  response.entries.assign(batch, epm::EptEntry{{}, tower, "flood"});
  const std::vector<uint8_t> stub = epm::EncodeEptLookupResponse(response);
  mapper->RegisterInterface(epm::kEpmInterface, epm::kEptLookupOpnum + 1,
                            [stub](const server::CallContext&) { return stub; });
  mapper->Start();
  return mapper;
}

TEST_F(EndpointMapper, LookupIsBoundedAgainstAFloodingMapper) {
  const struct {
    uint32_t batch;
    size_t tower_size;
    const char* refused_for;
  } cases[] = {
      {20000, 0, "a batch of 20000 entries for 64 asked"},
      {client::kLookupBatch, 0, "more than 16384 entries"},
      {client::kLookupBatch, 4096, "more than 8388608 octets"},
  };
  for (const auto& c : cases) {
    auto mapper = FloodingMapper(c.batch, c.tower_size);
    try {
      client::EptLookup("127.0.0.1", mapper->port(), {});
      ADD_FAILURE() << "lookup took everything the mapper sent";
    } catch (const RpcError& e) {
      EXPECT_EQ(e.status(), kProtocolError);
      EXPECT_NE(std::string(e.what()).find(c.refused_for), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace rpcrt
