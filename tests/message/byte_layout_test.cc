// The wire layout of generic messages, byte for byte, and how malformed bodies are refused.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "exc/exceptions.h"
#include "io/memory_stream.h"
#include "io/message/generic_message.h"
#include "io/message/message_data_blob.h"
#include "io/message/message_data_numeric.h"
#include "io/message/message_data_string.h"
#include "tests/exc/what_of.h"
#include "tests/message/test_bytes.h"

namespace io::message {
namespace {

using testing::Bytes;
using testing::bytes_t;
using testing::Concat;

bytes_t Serialize(const CGenericMessage& message) {
  CMemoryOutputStream out;
  message.Serialize(out);
  return out.Take();
}

boost::shared_ptr<CGenericMessage> Parse(const bytes_t& bytes) {
  CMemoryInputStream in(bytes);
  return CGenericMessage::Deserialize(in);
}

std::string ParseError(const bytes_t& bytes) {
  return exctest::WhatOf<exc::runtime_exc_t>([&] { Parse(bytes); });
}

const bytes_t kHeadOfOneItem = Bytes({0x0F, 0x71, 0x83, 0x77, 0x01, 0x00, 0x00, 0x00});

TEST(GenericMessageLayout, EmptyMessageIsThirteenBytes) {
  EXPECT_EQ(Serialize(CGenericMessage()),
            Bytes({0xEE, 0x08, 0, 0, 0, 0x0F, 0x71, 0x83, 0x77, 0, 0, 0, 0}));
}

TEST(GenericMessageLayout, OneInt32Item) {
  CGenericMessage message;
  message.Set(1, boost::make_shared<CMessageDataInt32>(5));
  const bytes_t expected = Concat(
      {Bytes({0xEE, 0x11, 0, 0, 0}), kHeadOfOneItem, Bytes({0x01, 0, 0, 0, 0x06, 0x05, 0, 0, 0})});
  EXPECT_EQ(Serialize(message), expected);

  auto back = Parse(expected);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->Items().size(), 1u);
  EXPECT_EQ(back->GetAs<CMessageDataInt32>(1)->Get(), 5);
}

TEST(GenericMessageLayout, ItemsInAscendingKeyOrderWithBlobsAfterBodyInKeyOrder) {
  CGenericMessage message;
  message.Set(9, boost::make_shared<CMessageDataBlob>(Bytes({0x99})));
  message.Set(7, boost::make_shared<CMessageDataString>("hi"));
  message.Set(3, boost::make_shared<CMessageDataBlob>(bytes_t{}));
  message.Set(0xFFFFFFFF, boost::make_shared<CMessageDataBoolean>(true));
  const bytes_t expected = Concat({
      // N = 8 + 4 * 5 + (4 + 2) + 1 = 35
      Bytes({0xEE, 35, 0, 0, 0, 0x0F, 0x71, 0x83, 0x77, 4, 0, 0, 0}), Bytes({3, 0, 0, 0, 0x01}),
      Bytes({7, 0, 0, 0, 0x0C, 2, 0, 0, 0, 'h', 'i'}), Bytes({9, 0, 0, 0, 0x01}),
      Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x01}),
      Bytes({0, 0, 0, 0}),        // blob 3: empty, its length only
      Bytes({1, 0, 0, 0, 0x99}),  // blob 9
  });
  EXPECT_EQ(Serialize(message), expected);

  auto back = Parse(expected);
  ASSERT_TRUE(back);
  EXPECT_EQ(Serialize(*back), expected);
  CMemoryInputStream in(expected);
  CGenericMessage::Deserialize(in);
  EXPECT_EQ(in.Remaining(), 0u) << "every blob byte is consumed, nothing more";
}

TEST(GenericMessageLayout, StringsAreLengthPrefixedInCodeUnits) {
  CGenericMessage message;
  message.Set(1, boost::make_shared<CMessageDataWString>(u"A\u00e9"));
  const bytes_t expected = Concat({Bytes({0xEE, 21, 0, 0, 0}), kHeadOfOneItem,
                                   Bytes({1, 0, 0, 0, 0x0D, 2, 0, 0, 0, 0x41, 0x00, 0xE9, 0x00})});
  EXPECT_EQ(Serialize(message), expected);
}

TEST(GenericMessageParse, OtherFirstByteIsNoMessageAndNoError) {
  for (int first : {0x00, 0xEF}) {
    bytes_t bytes = Serialize(CGenericMessage());
    bytes[0] = static_cast<uint8_t>(first);
    CMemoryInputStream in(bytes);
    EXPECT_FALSE(CGenericMessage::Deserialize(in)) << first;
    EXPECT_EQ(in.Position(), 1u) << "only the marker is consumed";
  }
}

// Bodies of one item after the 13-byte head: what each malformed one is refused with.
TEST(GenericMessageParse, MalformedBodiesAreRefusedWithTheirReason) {
  const auto one_item = [](uint8_t size, bytes_t item) {
    return Concat({Bytes({0xEE, size, 0, 0, 0}), kHeadOfOneItem, item});
  };
  const std::string unknown =
      "CGenericMessage::CreateByType: Failed to create message data item. Unknown type "
      "specified '";
  const std::string no_data =
      "CSerializationStream::Read(): Failed to read from buffer, not enough data";
  bytes_t wrong_identifier = Serialize(CGenericMessage());
  wrong_identifier[8] = 0x78;
  const struct {
    bytes_t bytes;
    std::string error;
  } rows[] = {
      {one_item(13, Bytes({1, 0, 0, 0, 0})), unknown + "0'."},
      {one_item(13, Bytes({1, 0, 0, 0, 17})), unknown + "17'."},
      {wrong_identifier,
       "CGenericMessage::Deserialize(): Identifier of {CGenericMessage} class is incorrect"},
      {Bytes({0xEE, 0, 0, 0, 0}), "Failed to read from stream"},
      // An item count beyond the body fails inside the body.
      {Bytes({0xEE, 8, 0, 0, 0, 0x0F, 0x71, 0x83, 0x77, 0xFF, 0xFF, 0xFF, 0xFF}), no_data},
      // Claims 2 GiB of body but brings 15 bytes: fails without reserving the claimed size.
      {Concat({Bytes({0xEE, 0, 0, 0, 0x80}), Bytes({0x0F, 0x71, 0x83, 0x77}), bytes_t(11, 0)}),
       "Failed to retrieve value from the binary stream: received less bytes (15) than "
       "expected (2147483648)."},
      {one_item(17, Bytes({1, 0, 0, 0, 0x0C, 0xFF, 0xFF, 0xFF, 0xFF})),
       "String::Read(): Failed to read string with negative length"},
      {one_item(17, Bytes({1, 0, 0, 0, 0x0D, 0xFF, 0xFF, 0xFF, 0xFF})),
       "WString::Read(): Failed to read string with negative length"},
      {one_item(17, Bytes({1, 0, 0, 0, 0x0C, 0xFF, 0xFF, 0xFF, 0x7F})), no_data},
      // A blob at the size limit is refused before anything is read.
      {one_item(13, Bytes({1, 0, 0, 0, 0x01, 0xFB, 0xFF, 0xFF, 0x7F})),
       "Failed to resize buffer. Max blob size: [2147483643], New blob size: [2147483643]"},
      {one_item(13, Bytes({1, 0, 0, 0, 0x01, 0xFA, 0xFF, 0xFF, 0x7F})),
       "Failed to retrieve value from the binary stream: received less bytes (0) than expected "
       "(2147483642)."},
  };
  for (const auto& row : rows) EXPECT_EQ(ParseError(row.bytes), row.error) << row.error;
}

TEST(GenericMessageParse, SameKeyTwiceKeepsTheSecond) {
  const bytes_t bytes =
      Concat({Bytes({0xEE, 23, 0, 0, 0, 0x0F, 0x71, 0x83, 0x77, 2, 0, 0, 0}),
              Bytes({4, 0, 0, 0, 0x06, 1, 0, 0, 0}), Bytes({4, 0, 0, 0, 0x03, 2})});
  auto message = Parse(bytes);
  ASSERT_TRUE(message);
  ASSERT_EQ(message->Items().size(), 1u);
  EXPECT_EQ(message->Get(4)->ToString(), "(UInt8) 2");
}

TEST(GenericMessageParse, TrailingBodyBytesAreIgnored) {
  const bytes_t bytes = Concat({Bytes({0xEE, 11, 0, 0, 0}), Bytes({0x0F, 0x71, 0x83, 0x77}),
                                Bytes({0, 0, 0, 0}), Bytes({0xAA, 0xBB, 0xCC})});
  auto message = Parse(bytes);
  ASSERT_TRUE(message);
  EXPECT_TRUE(message->Items().empty());
}

TEST(GenericMessageParse, TruncatedInputFailsAtEveryCut) {
  CGenericMessage message;
  message.Set(1, boost::make_shared<CMessageDataInt64>(-1));
  message.Set(2, boost::make_shared<CMessageDataBlob>(Bytes({1, 2, 3, 4})));
  message.Set(3, boost::make_shared<CMessageDataString>("abc"));
  const bytes_t full = Serialize(message);
  for (size_t cut = 0; cut < full.size(); ++cut) {
    const bytes_t part(full.begin(), full.begin() + cut);
    EXPECT_THROW(Parse(part), exc::runtime_exc_t) << "cut at " << cut;
  }
  EXPECT_NO_THROW(Parse(full));
}

TEST(GenericMessageParse, TricklingStreamGivesTheSameMessage) {
  CGenericMessage message;
  message.Set(1, boost::make_shared<CMessageDataBlob>(bytes_t(300000, 0x5A)));
  message.Set(2, boost::make_shared<CMessageDataWString>(u"trickle"));
  const bytes_t full = Serialize(message);
  testing::CTricklingInputStream in(full, 7);
  auto back = CGenericMessage::Deserialize(in);
  ASSERT_TRUE(back);
  EXPECT_EQ(Serialize(*back), full);
}

TEST(GenericMessageSet, NullItemIsRefused) {
  CGenericMessage message;
  EXPECT_EQ(exctest::WhatOf<exc::runtime_exc_t>([&] { message.Set(1, nullptr); }),
            "CGenericMessage::Set(): Incorrect parameter <value: {null}>");
}

}  // namespace
TEST(GenericMessageSerialize, ShortWriteReportsCounts) {
  CGenericMessage message;
  message.Set(1, boost::make_shared<CMessageDataInt32>(5));
  CMemoryOutputStream full(10);
  EXPECT_EQ(exctest::WhatOf<exc::runtime_exc_t>([&] { message.Serialize(full); }),
            "Failed to write value to the binary stream: written less bytes (10) than expected "
            "(22).");
}

}  // namespace io::message
