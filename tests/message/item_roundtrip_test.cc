// The generic message's byte layout, and every item type: its payload bytes, its display text,
// and the values at its limits going through a whole message and through a byte stream alone.
#include <gtest/gtest.h>

#include <limits>

#include <boost/make_shared.hpp>

#include "exc/exceptions.h"
#include "io/memory_stream.h"
#include "io/message/generic_message.h"
#include "io/message/message_data_blob.h"
#include "io/message/message_data_factory.h"
#include "io/message/message_data_guid.h"
#include "io/message/message_data_numeric.h"
#include "io/message/message_data_string.h"
#include "io/message/serialization_stream.h"
#include "tests/exc/what_of.h"

namespace io::message {
namespace {

using Bytes = std::vector<uint8_t>;

// Writes the item through the message (buffer path, or after the body for a blob), reads it
// back and returns the parsed item.
template <class Item>
boost::shared_ptr<Item> ThroughMessage(boost::shared_ptr<Item> item) {
  CGenericMessage message;
  message.Set(42, item);
  CMemoryOutputStream out;
  message.Serialize(out);
  CMemoryInputStream in(out.Data());
  auto back = CGenericMessage::Deserialize(in);
  EXPECT_EQ(in.Remaining(), 0u);
  auto typed = back->GetAs<Item>(42);
  EXPECT_TRUE(typed);
  return typed;
}

// The payload as a byte stream writes it, checked against the size the item reports.
Bytes Payload(const IMessageData& item) {
  CMemoryOutputStream out;
  item.Write(out);
  EXPECT_EQ(out.Data().size(), item.Size());
  return out.Take();
}

template <class Item>
void ExpectStreamRoundTrip(const Item& item) {
  const Bytes bytes = Payload(item);
  CMemoryInputStream in(bytes);
  Item back;
  back.Read(in);
  EXPECT_EQ(Payload(back), bytes);
  EXPECT_EQ(in.Remaining(), 0u);
}

// Head, item count, items in ascending key order with their tags, blobs after the body.
TEST(GenericMessageLayout, ItemsInKeyOrderWithBlobsAfterTheBody) {
  CGenericMessage message;
  message.Set(9, boost::make_shared<CMessageDataBlob>(Bytes({0x99})));
  message.Set(7, boost::make_shared<CMessageDataString>("hi"));
  message.Set(3, boost::make_shared<CMessageDataBlob>(Bytes{}));
  message.Set(0xFFFFFFFF, boost::make_shared<CMessageDataBoolean>(true));
  const Bytes expected = {// Head: N = 8 + 4 * 5 + (4 + 2) + 1 = 35, four items.
                          0xEE, 35, 0, 0, 0, 0x0F, 0x71, 0x83, 0x77, 4, 0, 0, 0,
                          // Items 3, 7, 9 and 0xFFFFFFFF.
                          3, 0, 0, 0, 0x01, 7, 0, 0, 0, 0x0C, 2, 0, 0, 0, 'h', 'i', 9, 0, 0, 0,
                          0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x01,
                          // Blob 3, empty: its length only; then blob 9.
                          0, 0, 0, 0, 1, 0, 0, 0, 0x99};
  CMemoryOutputStream out;
  message.Serialize(out);
  EXPECT_EQ(out.Data(), expected);
}

TEST(StringItems, EmptyAndNonAsciiRoundTrip) {
  for (const std::string& s : {std::string(), std::string("x"), std::string("a\0b", 3),
                               std::string("\xC3\xA9t\xC3\xA9")}) {
    auto back = ThroughMessage(boost::make_shared<CMessageDataString>(s));
    EXPECT_EQ(back->Get(), s);
    ExpectStreamRoundTrip(CMessageDataString(s));
  }
  for (const std::u16string& s : {std::u16string(), std::u16string(u"\xD83D\xDE00"),
                                  std::u16string(u"\xDC00 unpaired"), std::u16string(1000, u'W')}) {
    auto back = ThroughMessage(boost::make_shared<CMessageDataWString>(s));
    EXPECT_EQ(back->Get(), s);
    ExpectStreamRoundTrip(CMessageDataWString(s));
  }
  EXPECT_EQ(Payload(CMessageDataString("")), Bytes({0, 0, 0, 0}));
  EXPECT_EQ(CMessageDataWString(u"ab").Size(), 8u);
}

TEST(GuidItem, WireLayoutAndRoundTrip) {
  const GUID g{0x01020304, 0x0506, 0x0708, {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10}};
  EXPECT_EQ(Payload(CMessageDataGuid(g)),
            Bytes({4, 3, 2, 1, 6, 5, 8, 7, 9, 10, 11, 12, 13, 14, 15, 16}));
  auto back = ThroughMessage(boost::make_shared<CMessageDataGuid>(g));
  EXPECT_EQ(back->ToString(), "(Guid) 01020304-0506-0708-090a-0b0c0d0e0f10");
}

TEST(BlobItem, EmptyAndLargeRoundTrip) {
  EXPECT_TRUE(ThroughMessage(boost::make_shared<CMessageDataBlob>(Bytes{}))->Get().empty());
  Bytes big(1 << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31);
  EXPECT_EQ(ThroughMessage(boost::make_shared<CMessageDataBlob>(big))->Get(), big);
  ExpectStreamRoundTrip(CMessageDataBlob(Bytes({7, 8})));
}

TEST(BlobItem, SizeLimitOnCreateAndResize) {
  const uint64_t limit = CMessageDataBlob::kMaxBlobSize;
  EXPECT_EQ(exctest::WhatOf<exc::runtime_exc_t>([&] { CMessageDataBlob blob(limit); }),
            "Failed to create blob. Max blob size: [2147483643], New blob size: [2147483643]");
  CMessageDataBlob blob(Bytes({1, 2, 3}));
  EXPECT_EQ(exctest::WhatOf<exc::runtime_exc_t>([&] { blob.Resize(uint64_t{1} << 33); }),
            "Failed to resize buffer. Max blob size: [2147483643], New blob size: [8589934592]");
  EXPECT_EQ(blob.Get(), Bytes({1, 2, 3})) << "a refused resize keeps the block";
  blob.Resize(5);
  EXPECT_EQ(blob.Get(), Bytes({1, 2, 3, 0, 0}));
}

// Every numeric type at both limits, through a whole message and through a byte stream alone,
// and named by its display text.
template <class... Items>
void ExpectLimitsRoundTrip() {
  (
      [] {
        using T = typename Items::value_type;
        for (T v : {std::numeric_limits<T>::lowest(), std::numeric_limits<T>::max()}) {
          EXPECT_EQ(ThroughMessage(boost::make_shared<Items>(v))->Get(), v);
          ExpectStreamRoundTrip(Items(v));
          EXPECT_EQ(Items(v).ToString().find("(?)"), std::string::npos);
        }
      }(),
      ...);
}

TEST(NumericItems, LimitsRoundTrip) {
  ExpectLimitsRoundTrip<CMessageDataInt8, CMessageDataUInt8, CMessageDataInt16, CMessageDataUInt16,
                        CMessageDataInt32, CMessageDataUInt32, CMessageDataInt64,
                        CMessageDataUInt64, CMessageDataFloat32, CMessageDataFloat64,
                        CMessageDataBoolean, CMessageDataTime>();
}

TEST(ItemDisplay, TextsPerType) {
  EXPECT_EQ(CMessageDataInt32(-2147483647 - 1).ToString(), "(Int32) -2147483648");
  EXPECT_EQ(CMessageDataUInt64(18446744073709551615ull).ToString(),
            "(UInt64) 18446744073709551615");
  EXPECT_EQ(CMessageDataUInt8(255).ToString(), "(UInt8) 255");  // a number, not a character
  EXPECT_EQ(CMessageDataFloat64(0.1).ToString(), "(Float64) 0.1");
  EXPECT_EQ(CMessageDataFloat64(std::numeric_limits<double>::quiet_NaN()).ToString(),
            "(Float64) nan");
  EXPECT_EQ(CMessageDataString("a b").ToString(), "(String) \"a b\"");
  EXPECT_EQ(CMessageDataWString(u"\u00e9").ToString(), "(WString) \"\xC3\xA9\"");
  EXPECT_EQ(CMessageDataBoolean(false).ToString(), "(Boolean) false");
  EXPECT_EQ(CMessageDataTime(1700000000).ToString(), "(Time) 1700000000");

  CMessageDataBlob blob(Bytes({1, 2, 3}));
  blob.Data().reserve(10);
  EXPECT_EQ(blob.ToString(), "(Blob) Length = 3, Capacity = 10");
}

}  // namespace
}  // namespace io::message
