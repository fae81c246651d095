#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "rpcrt/epm/epm_messages.h"
#include "rpcrt/epm/tower.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt::epm {
namespace {

using namespace rpcrt::testing;

constexpr SyntaxId kDoRpcInterface{MakeUuid("d1c2c07a-d989-48cc-a423-b73ecd518d40"), 1, 0};

std::vector<uint8_t> DoRpcTowerBytes() {
  return Hex(
      "0500"
      "1300 0d 7ac0c2d1 89d9 cc48 a423b73ecd518d40 0100 0200 0000"
      "1300 0d 045d888a eb1c c911 9fe808002b104860 0200 0200 0000"
      "0100 0b 0200 0000"
      "0100 07 0200 c000"
      "0100 09 0400 7f000001");
}

const std::vector<uint8_t> kNullHandle(20, 0);
const TcpTower kDoRpcTower{kDoRpcInterface, kNdrSyntax, 49152, {127, 0, 0, 1}};

TEST(TowerTest, TcpTowerHasFiveFloors) {
  auto bytes = EncodeTcpTower(kDoRpcTower);
  EXPECT_EQ(bytes, DoRpcTowerBytes());
  EXPECT_EQ(bytes.size(), 75u);
  auto back = DecodeTcpTower(bytes);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, kDoRpcTower);
  EXPECT_EQ(ToStringBinding(*back), "ncacn_ip_tcp:127.0.0.1[49152]");
  EXPECT_EQ(ToStringBinding({kEpmInterface, kNdrSyntax, 135, {10, 20, 255, 0}}),
            "ncacn_ip_tcp:10.20.255.0[135]");
}

TEST(TowerTest, OtherProtocolsAreNotTcp) {
  auto floors = DecodeTowerFloors(DoRpcTowerBytes());
  ASSERT_EQ(floors.size(), 5u);

  const TowerFloor named_pipe{{0x0f}, {'\\', 'p', 0}};
  const std::pair<const char*, std::function<void(std::vector<TowerFloor>&)>> changes[] = {
      {"named pipe", [&](auto& f) { f[3] = named_pipe; }},
      {"four floors", [](auto& f) { f.pop_back(); }},
      {"short address", [](auto& f) { f[4].rhs.pop_back(); }},
      {"connectionless", [](auto& f) { f[2].lhs = {0x0a}; }},
      {"one-octet minor version", [](auto& f) { f[2].rhs = {0}; }},
  };
  for (const auto& [name, change] : changes) {
    auto changed = floors;
    change(changed);
    EXPECT_EQ(DecodeTcpTower(EncodeTowerFloors(changed)), std::nullopt) << name;
  }

  // Wine writes the connection-oriented floor with an empty right-hand side ("01 00 0b 00 00").
  floors[2].rhs.clear();
  EXPECT_EQ(DecodeTcpTower(EncodeTowerFloors(floors)), kDoRpcTower);
}

// Towers as Windows and Samba register them, each shown as its string binding.
TEST(TowerTest, EveryProtocolReadsAsAStringBinding) {
  const auto floors = DecodeTowerFloors(DoRpcTowerBytes());
  const std::vector<TowerFloor> syntax(floors.begin(), floors.begin() + 2);
  auto text = [](const char* s) { return std::vector<uint8_t>(s, s + std::strlen(s) + 1); };
  std::vector<uint8_t> v6(16, 0);
  v6[15] = 1;
  const struct {
    std::vector<TowerFloor> protocol;
    const char* binding;
  } cases[] = {
      {{{{0x0b}, {0, 0}}, {{0x07}, {0, 135}}, {{0x09}, {127, 0, 0, 1}}},
       "ncacn_ip_tcp:127.0.0.1[135]"},
      {{{{0x0b}, {0, 0}}, {{0x07}, {0xc0, 0}}, {{0x09}, v6}}, "ncacn_ip_tcp:::1[49152]"},
      {{{{0x0b}, {0, 0}}, {{0x1f}, {2, 0x51}}, {{0x09}, {0, 0, 0, 0}}}, "ncacn_http:0.0.0.0[593]"},
      {{{{0x0a}, {0, 0}}, {{0x08}, {0, 135}}, {{0x09}, {10, 1, 2, 3}}},
       "ncadg_ip_udp:10.1.2.3[135]"},
      {{{{0x0b}, {0, 0}}, {{0x0f}, text("\\PIPE\\epmapper")}, {{0x11}, text("\\\\DC1")}},
       "ncacn_np:\\\\DC1[\\PIPE\\epmapper]"},
      {{{{0x0b}, {0, 0}}, {{0x0f}, text("\\pipe\\lsass")}}, "ncacn_np:[\\pipe\\lsass]"},
      {{{{0x0c}, {0, 0}}, {{0x10}, text("EPMAPPER")}}, "ncalrpc:[EPMAPPER]"},
      // Names stop at their NUL and keep printable characters only.
      {{{{0x0c}, {0, 0}}, {{0x10}, {'a', 0x1b, '[', 'b', 0, 't'}}}, "ncalrpc:[a?[b]"},
      // Unknown protocols, and known ones with floors that do not fit, by their octets.
      {{{{0x0b}, {0, 0}}, {{0x12}, {0xab}}}, "unknown:[0b:0000 12:ab]"},
      {{{{0x0b}, {0, 0}}, {{0x07}, {0, 135}}, {{0x09}, {1, 2, 3}}},
       "unknown:[0b:0000 07:0087 09:010203]"},
      {{}, "unknown:[]"},
  };
  for (const auto& c : cases) {
    std::vector<TowerFloor> tower = syntax;
    tower.insert(tower.end(), c.protocol.begin(), c.protocol.end());
    const TowerSummary summary = SummarizeTower(EncodeTowerFloors(tower));
    EXPECT_EQ(summary.string_binding, c.binding);
    EXPECT_EQ(summary.interface_id, kDoRpcInterface) << c.binding;
  }
  EXPECT_EQ(SummarizeTower(DoRpcTowerBytes()).tcp_port, 49152);
  // A tower that does not begin with a syntax floor names no interface.
  const TowerSummary bare =
      SummarizeTower(EncodeTowerFloors({{{0x0c}, {0, 0}}, {{0x10}, text("x")}}));
  EXPECT_EQ(bare.interface_id, std::nullopt);
  EXPECT_EQ(bare.string_binding, "ncalrpc:[x]");
  EXPECT_EQ(StatusOf([] { SummarizeTower(Hex("0100 0500 0d 0000")); }), kBadStubData);
}

TEST(TowerTest, MalformedFloorsAreBadStubData) {
  for (const char* hex : {"e803 0100 0d 0000", "0100 0500 0d 0000", "0100 0100 0d 0300 00", "01"}) {
    EXPECT_EQ(StatusOf([&] { DecodeTowerFloors(Hex(hex)); }), kBadStubData) << hex;
  }
  auto bytes = DoRpcTowerBytes();
  for (size_t length = 0; length < bytes.size(); ++length) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + length);
    EXPECT_EQ(StatusOf([&] { DecodeTcpTower(cut); }), kBadStubData) << length;
  }
}

TEST(EptMapTest, RequestAsWindowsSendsIt) {
  EptMapRequest request;
  request.map_tower = EncodeTcpTower({kDoRpcInterface, kNdrSyntax, 0, {0, 0, 0, 0}});
  auto stub = EncodeEptMapRequest(request);
  EXPECT_EQ(stub, Concat({Hex("01000000 00000000000000000000000000000000"),
                          Hex("02000000 4b000000 4b000000"), *request.map_tower, Hex("00"),
                          kNullHandle, Hex("04000000")}));

  EptMapRequest back = DecodeEptMapRequest(stub);
  EXPECT_EQ(back.object, Uuid{});
  EXPECT_EQ(back.map_tower, request.map_tower);
  EXPECT_TRUE(back.entry_handle.IsNull());
  EXPECT_EQ(back.max_towers, 4u);

  request.object.reset();
  request.map_tower.reset();
  back = DecodeEptMapRequest(EncodeEptMapRequest(request));
  EXPECT_EQ(back.object, std::nullopt);
  EXPECT_EQ(back.map_tower, std::nullopt);
}

TEST(EptMapTest, ResponseCarriesTowersAfterTheirPointers) {
  EptMapResponse response;
  response.entry_handle = {0, MakeUuid("01020304-0506-0708-090a-0b0c0d0e0f10")};
  response.max_towers = 4;
  response.towers.push_back(DoRpcTowerBytes());
  auto stub = EncodeEptMapResponse(response);
  EXPECT_EQ(stub, Concat({Hex("00000000 04030201 0605 0807 090a0b0c0d0e0f10"),
                          Hex("01000000 04000000 00000000 01000000 03000000 4b000000 4b000000"),
                          DoRpcTowerBytes(), Hex("00 00000000")}));

  EptMapResponse back = DecodeEptMapResponse(stub);
  EXPECT_EQ(back.entry_handle, response.entry_handle);
  EXPECT_EQ(back.max_towers, 4u);
  ASSERT_EQ(back.towers.size(), 1u);
  EXPECT_EQ(ToStringBinding(*DecodeTcpTower(*back.towers[0])), "ncacn_ip_tcp:127.0.0.1[49152]");
  EXPECT_EQ(back.status, 0u);
}

TEST(EptMapTest, NotRegisteredAndNullTowers) {
  EptMapResponse none;
  none.max_towers = 4;
  none.status = kEptSNotRegistered;
  auto stub = EncodeEptMapResponse(none);
  EXPECT_EQ(stub, Concat({kNullHandle, Hex("00000000 04000000 00000000 00000000 d6a0c916")}));
  EXPECT_EQ(DecodeEptMapResponse(stub).status, kEptSNotRegistered);

  EptMapResponse mixed;
  mixed.towers = {std::nullopt, DoRpcTowerBytes(), std::vector<uint8_t>{}};
  EptMapResponse back = DecodeEptMapResponse(EncodeEptMapResponse(mixed));
  EXPECT_EQ(back.max_towers, 3u);  // never below the number of towers sent
  EXPECT_EQ(back.towers, mixed.towers);
}

TEST(EptMapTest, MalformedResponsesAreBadStubData) {
  // Each after a null entry handle.
  const NamedHex cases[] = {
      {"actual above max", "02000000 01000000 00000000 02000000 00000000 00000000 00000000"},
      {"offset not zero", "01000000 04000000 01000000 01000000 00000000 00000000"},
      {"actual differs from num_towers", "02000000 04000000 00000000 01000000 00000000 00000000"},
      {"2^31 towers in a few bytes", "ffffff7f ffffff7f 00000000 ffffff7f 00000200"},
      {"tower longer than its size",
       "01000000 01000000 00000000 01000000 00000200 04000000 05000000 01020304 00000000"},
      {"tower past the end",
       "01000000 01000000 00000000 01000000 00000200 ffff0000 ffff0000 01020304"},
  };
  for (const auto& c : cases) {
    const auto stub = Concat({kNullHandle, Hex(c.hex)});
    EXPECT_EQ(StatusOf([&] { DecodeEptMapResponse(stub); }), kBadStubData) << c.name;
  }
  EXPECT_EQ(StatusOf([] { DecodeEptMapResponse(Hex("00000000")); }), kBadStubData);

  auto good = EncodeEptMapResponse({{}, 1, {DoRpcTowerBytes()}, 0});
  for (size_t length = 0; length < good.size(); ++length) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + length);
    EXPECT_EQ(StatusOf([&] { DecodeEptMapResponse(cut); }), kBadStubData) << length;
  }
}

TEST(EptLookupTest, RequestForEverything) {
  EptLookupRequest request;
  request.max_ents = 500;
  auto stub = EncodeEptLookupRequest(request);
  EXPECT_EQ(stub,
            Concat({Hex("00000000 00000000 00000000 01000000"), kNullHandle, Hex("f4010000")}));
  EptLookupRequest back = DecodeEptLookupRequest(stub);
  EXPECT_EQ(back.inquiry_type, kInquiryAllElements);
  EXPECT_EQ(back.object, std::nullopt);
  EXPECT_EQ(back.interface_id, std::nullopt);
  EXPECT_EQ(back.max_ents, 500u);

  request.inquiry_type = kInquiryMatchByBoth;
  request.object = MakeUuid("01020304-0506-0708-090a-0b0c0d0e0f10");
  request.interface_id = kDoRpcInterface;
  request.vers_option = kVersExact;
  request.entry_handle = {0, MakeUuid("11111111-2222-3333-4444-555555555555")};
  back = DecodeEptLookupRequest(EncodeEptLookupRequest(request));
  EXPECT_EQ(back.object, request.object);
  EXPECT_EQ(back.interface_id, request.interface_id);
  EXPECT_EQ(back.vers_option, kVersExact);
  EXPECT_EQ(back.entry_handle, request.entry_handle);
}

TEST(EptLookupTest, ResponseEntriesWithAnnotations) {
  EptLookupResponse response;
  response.entries.push_back({Uuid{}, DoRpcTowerBytes(), "DoRpc"});
  EXPECT_EQ(
      EncodeEptLookupResponse(response),
      Concat({kNullHandle, Hex("01000000 01000000 00000000 01000000"), std::vector<uint8_t>(16, 0),
              Hex("03000000 00000000 06000000 446f52706300 0000 4b000000 4b000000"),
              DoRpcTowerBytes(), Hex("00 00000000")}));

  response.entries.push_back({MakeUuid("01020304-0506-0708-090a-0b0c0d0e0f10"), std::nullopt, ""});
  response.entries.push_back({Uuid{}, DoRpcTowerBytes(), std::string(63, 'x')});
  response.max_ents = 10;
  EptLookupResponse back = DecodeEptLookupResponse(EncodeEptLookupResponse(response));
  EXPECT_EQ(back.max_ents, 10u);
  ASSERT_EQ(back.entries.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(back.entries[i].object, response.entries[i].object) << i;
    EXPECT_EQ(back.entries[i].tower, response.entries[i].tower) << i;
    EXPECT_EQ(back.entries[i].annotation, response.entries[i].annotation) << i;
  }

  response.entries.push_back({Uuid{}, std::nullopt, std::string(64, 'x')});
  EXPECT_EQ(StatusOf([&] { EncodeEptLookupResponse(response); }), kErrorInvalidParameter);
}

TEST(EptLookupTest, AnnotationsThatDoNotFitAreBadStubData) {
  auto decode = [](const char* annotation_hex) {
    return DecodeEptLookupResponse(Concat({kNullHandle, Hex("01000000 01000000 00000000 01000000"),
                                           std::vector<uint8_t>(16, 0), Hex("00000000"),
                                           Hex(annotation_hex), Hex("00000000")}));
  };
  EXPECT_EQ(decode("00000000 00000000").entries.at(0).annotation, "");
  EXPECT_EQ(decode("00000000 02000000 6100 0000").entries.at(0).annotation, "a");
  EXPECT_EQ(StatusOf([&] { decode("00000000 41000000"); }), kBadStubData);  // 65 characters
  EXPECT_EQ(StatusOf([&] { decode("01000000 01000000 00 000000"); }), kBadStubData);  // offset
  const auto none = Concat({kNullHandle, Hex("00010000 00010000 00000000 00010000")});
  EXPECT_EQ(StatusOf([&] { DecodeEptLookupResponse(none); }),
            kBadStubData);  // 256 entries announced, none present
}

}  // namespace
}  // namespace rpcrt::epm
