#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "rpcrt/ndr/byte_order.h"
#include "rpcrt/ndr/ndr_reader.h"
#include "rpcrt/ndr/ndr_writer.h"
#include "tests/rpcrt_wire/test_util.h"

namespace rpcrt {
namespace {

using namespace testing;

TEST(NdrWriterTest, PrimitivesAlignToTheirSizeFromTheStubStart) {
  NdrWriter w;
  w.WriteU8(0x01);
  w.WriteU16(0x0302);
  w.WriteU8(0x04);
  w.WriteU32(0x08070605);
  w.WriteU8(0x09);
  w.WriteU64(0x1110'0f0e'0d0c'0b0a);
  EXPECT_EQ(w.bytes(), Hex("01 00 0203 04 000000 05060708 09 000000 0a0b0c0d0e0f1011"));
}

TEST(NdrWriterTest, BigEndianWriterSwapsEveryInteger) {
  NdrWriter w(/*big_endian=*/true);
  w.WriteU16(0x0102);
  w.WriteU32(0x03040506);
  w.WriteUuid(MakeUuid("00112233-4455-6677-8899-aabbccddeeff"));
  EXPECT_EQ(w.bytes(), Hex("0102 0000 03040506 00112233 4455 6677 8899aabbccddeeff"));
}

TEST(NdrWriterTest, WideStringsCountTheirTerminator) {
  NdrWriter w;
  w.WriteWideString(u"ab");
  EXPECT_EQ(w.bytes(), Hex("03000000 00000000 03000000 6100 6200 0000"));

  NdrWriter empty;
  empty.WriteWideString(u"");
  EXPECT_EQ(empty.bytes(), Hex("01000000 00000000 01000000 0000"));

  NdrWriter ansi;
  ansi.WriteAnsiString("ab");
  EXPECT_EQ(ansi.bytes(), Hex("03000000 00000000 03000000 616200"));
}

TEST(NdrWriterTest, PointersGetWindowsReferentIds) {
  NdrWriter w;
  EXPECT_EQ(w.WriteUniquePointer(true), 0x00020000u);
  EXPECT_EQ(w.WriteUniquePointer(false), 0u);
  EXPECT_EQ(w.WriteUniquePointer(true), 0x00020004u);
  int a = 0;
  int b = 0;
  EXPECT_EQ(w.WriteFullPointer(&a), std::make_pair(0x00020008u, true));
  EXPECT_EQ(w.WriteFullPointer(&b), std::make_pair(0x0002000cu, true));
  EXPECT_EQ(w.WriteFullPointer(&a), std::make_pair(0x00020008u, false));
  EXPECT_EQ(w.WriteFullPointer(nullptr), std::make_pair(0u, false));
  EXPECT_EQ(w.bytes(), Hex("00000200 00000000 04000200 08000200 0c000200 08000200 00000000"));
}

TEST(NdrWriterTest, ContextHandleIsTwentyBytes) {
  NdrWriter w;
  w.WriteU8(0xff);
  w.WriteContextHandle({1, MakeUuid("01020304-0506-0708-090a-0b0c0d0e0f10")});
  EXPECT_EQ(w.bytes(), Hex("ff000000 01000000 04030201 0605 0807 090a0b0c0d0e0f10"));
  NdrReader r(w.bytes());
  r.ReadU8();
  ContextHandle h = r.ReadContextHandle();
  EXPECT_EQ(h.attributes, 1u);
  EXPECT_EQ(h.uuid.ToString(), "01020304-0506-0708-090a-0b0c0d0e0f10");
  EXPECT_TRUE(r.at_end());
}

TEST(NdrReaderTest, ReadsBackWhatTheWriterWrote) {
  for (bool big_endian : {false, true}) {
    NdrWriter w(big_endian);
    w.WriteI8(-2);
    w.WriteI16(-300);
    w.WriteI32(-70000);
    w.WriteI64(-5'000'000'000);
    w.WriteWideString(u"h\u00e9llo \u4e16");
    w.WriteUniquePointer(false);
    w.WriteUniquePointer(true);
    w.WriteWideString(u"");
    w.WriteAnsiString("ansi");

    NdrReader r(w.bytes(), big_endian ? kBigEndianDataRep : kLocalDataRep);
    EXPECT_EQ(r.ReadI8(), -2);
    EXPECT_EQ(r.ReadI16(), -300);
    EXPECT_EQ(r.ReadI32(), -70000);
    EXPECT_EQ(r.ReadI64(), -5'000'000'000);
    EXPECT_EQ(r.ReadWideString(), u"h\u00e9llo \u4e16");
    EXPECT_EQ(r.ReadUniqueWideString(), std::nullopt);
    EXPECT_EQ(r.ReadUniqueWideString(), std::u16string());
    EXPECT_EQ(r.ReadAnsiString(), "ansi");
    EXPECT_TRUE(r.at_end());
  }
}

TEST(NdrReaderTest, HugeCountInShortStubIsBadStubData) {
  // max count and actual count 2^31 in a 20-byte stub: refused before anything is allocated.
  const auto stub = Hex("00000080 00000000 00000080 41004200 0000 0000");
  ASSERT_EQ(stub.size(), 20u);
  EXPECT_EQ(StatusOf([&] { NdrReader(stub).ReadWideString(); }), kBadStubData);

  const auto max_count = Hex("ffffffff 00000000 ffffffff");
  EXPECT_EQ(StatusOf([&] { NdrReader(max_count).ReadAnsiString(); }), kBadStubData);
}

TEST(NdrReaderTest, MalformedStringsAreBadStubData) {
  const NamedHex cases[] = {
      {"offset not zero", "02000000 01000000 01000000 0000"},
      {"actual above max", "01000000 00000000 02000000 4100 0000"},
      {"no characters at all", "00000000 00000000 00000000"},
      {"last character not NUL", "02000000 00000000 02000000 4100 4200"},
      {"characters cut short", "03000000 00000000 03000000 4100"},
      {"counts cut short", "03000000 00000000"},
  };
  for (const auto& c : cases) {
    const auto stub = Hex(c.hex);
    EXPECT_EQ(StatusOf([&] { NdrReader(stub).ReadWideString(); }), kBadStubData) << c.name;
  }
}

TEST(NdrReaderTest, ReadsNeverPassTheEnd) {
  auto stub = Hex("01 02 03 04 05");
  NdrReader r(stub);
  EXPECT_EQ(r.ReadU8(), 1);
  EXPECT_EQ(StatusOf([&] { r.ReadU64(); }), kBadStubData);

  NdrReader aligned(stub);
  aligned.ReadU32();
  aligned.ReadU8();
  // Padding up to 8 would pass the end.
  EXPECT_EQ(StatusOf([&] { aligned.Align(8); }), kBadStubData);
  EXPECT_EQ(StatusOf([&] { aligned.ReadBytes(1); }), kBadStubData);

  NdrReader empty(std::span<const uint8_t>{});
  EXPECT_EQ(StatusOf([&] { empty.ReadUuid(); }), kBadStubData);
  EXPECT_EQ(StatusOf([&] { empty.Require(0xffffffffffffffffull, 2); }), kBadStubData);
  EXPECT_NO_THROW(empty.Require(0, 8));

  // A reader given another status fails with that one.
  auto one = Hex("01");
  NdrReader other(one, kLocalDataRep, kProtocolError);
  EXPECT_EQ(StatusOf([&] { other.ReadU32(); }), kProtocolError);
}

TEST(ByteOrderTest, EveryWidthLoadsAndStoresInBothOrders) {
  const std::vector<uint8_t> bytes = Hex("0102030405060708");
  const struct {
    bool big_endian;
    uint16_t u16;
    uint32_t u32;
    uint64_t u64;
  } cases[] = {
      {false, 0x0201, 0x04030201, 0x0807060504030201},
      {true, 0x0102, 0x01020304, 0x0102030405060708},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Load<uint16_t>(bytes, c.big_endian), c.u16);
    EXPECT_EQ(Load<uint32_t>(bytes, c.big_endian), c.u32);
    EXPECT_EQ(Load<uint64_t>(bytes, c.big_endian), c.u64);
    std::vector<uint8_t> out(8);
    Store<uint32_t>(std::span(out).subspan(4), c.u32, c.big_endian);
    Store<uint16_t>(out, c.u16, c.big_endian);
    EXPECT_EQ(out, Hex("0102 0000 01020304"));
    out.clear();
    Append<uint64_t>(out, c.u64, c.big_endian);
    EXPECT_EQ(out, bytes);
  }
  // A span shorter than the value is refused, never read or written past.
  EXPECT_THROW(LoadLe<uint32_t>(std::span(bytes).first(3)), std::out_of_range);
  uint8_t three[3] = {};
  EXPECT_THROW(StoreBe<uint32_t>(three, 1), std::out_of_range);
}

TEST(UuidTest, ParsesAndPrintsTheCanonicalForm) {
  // A run-time string: with a literal the compiler would parse it while compiling.
  const std::string text = "D1C2C07A-d989-48cc-a423-b73ecd518d40";
  auto u = Uuid::Parse(text);
  ASSERT_TRUE(u.has_value());
  EXPECT_EQ(u->ToString(), "d1c2c07a-d989-48cc-a423-b73ecd518d40");
  EXPECT_TRUE(Uuid{}.IsNil());

  for (const char* bad :
       {"", "d1c2c07a-d989-48cc-a423-b73ecd518d4", "{d1c2c07a-d989-48cc-a423-b73ecd518d40}",
        "g1c2c07a-d989-48cc-a423-b73ecd518d40"}) {
    EXPECT_FALSE(Uuid::Parse(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace rpcrt
