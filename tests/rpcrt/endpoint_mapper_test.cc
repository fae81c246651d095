#include <gtest/gtest.h>

#include "rpcrt/client/endpoint_mapper.h"
#include "rpcrt/epm/epm_messages.h"
#include "rpcrt/epm/tower.h"
#include "rpcrt/status.h"
#include "tests/rpcrt/test_server.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt {
namespace {

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

TEST(EndpointMapper, LookupIsBoundedAgainstAFloodingMapper) {
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
    std::string what;
    EXPECT_EQ(testing::StatusOf([&] { client::EptLookup("127.0.0.1", mapper->port(), {}); }, &what),
              kProtocolError);
    EXPECT_NE(what.find(c.refused_for), std::string::npos) << what;
  }
}

}  // namespace
}  // namespace rpcrt
