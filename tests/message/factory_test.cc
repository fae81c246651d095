// Rebuilding messages from a header and a stream: generic and exception messages, the
// errors for every other header, and routing through the deserialisation context.
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "exc/exceptions.h"
#include "io/memory_stream.h"
#include "io/message/exception_message.h"
#include "io/message/generic_message.h"
#include "io/message/generic_message_factory.h"
#include "io/message/message_deserialization_context.h"
#include "tests/exc/what_of.h"

namespace io::message {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(GenericMessageFactory, RefusalsNameTheirReason) {
  const std::string context = "\nFailed to deserialize generic message";
  const struct {
    message_header_t header;
    Bytes bytes;
    std::string error;
  } rows[] = {
      {{0, 18446744073709551615ull},
       {},
       "Invalid generic message sequence number: 18446744073709551615"},
      {{0, 0},
       Bytes({0xEE, 8, 0, 0, 0, 1, 2, 3, 4, 0, 0, 0, 0}),
       "CGenericMessage::Deserialize(): Identifier of {CGenericMessage} class is incorrect" +
           context},
      {{0, 0},
       {},
       "Failed to retrieve value from the binary stream: received less bytes (0) than expected "
       "(1)." +
           context},
      {{100, 0}, {}, "Invalid message class: NAS Main extent message"},
      {{101, 0}, {}, "Invalid message class: NAS Main Meta extent message"},
      {{102, 0}, {}, "Invalid message class: NAS Main Data extent message"},
      {{103, 0}, {}, "Invalid message class: NAS Secondary extent message"},
      {{104, 0}, {}, "Invalid message class: NAS Secondary Meta extent message"},
      {{105, 0}, {}, "Invalid message class: NAS Secondary Data extent message"},
      {{106, 0}, {}, "Invalid message class: NAS Proxy message"},
      {{107, 0}, {}, "Invalid message class: NAS Master message"},
      {{2, 0}, {}, "Invalid message class: Unknown message class (2)"},
  };
  for (const auto& row : rows) {
    CGenericMessageFactory factory;
    CMemoryInputStream in(row.bytes);
    EXPECT_EQ(exctest::WhatOf<exc::runtime_exc_t>([&] { factory.Create(row.header, in); }),
              row.error);
  }
}

TEST(ExceptionMessage, RoundTripKeepsBlockAndSequence) {
  auto block = boost::make_shared<const Bytes>(Bytes({9, 8, 7}));
  CExceptionMessage message(block, 77);
  CMemoryOutputStream out;
  message.Serialize(out);
  EXPECT_EQ(out.Data(), Bytes({3, 0, 0, 0, 9, 8, 7}));

  CGenericMessageFactory factory;
  CMemoryInputStream in(out.Data());
  auto created = boost::dynamic_pointer_cast<CExceptionMessage>(factory.Create({1, 77}, in));
  ASSERT_TRUE(created);
  EXPECT_EQ(*created->Block(), *block);
  EXPECT_EQ(created->GetHeader().sequence, 77u);
  EXPECT_EQ(created->ToString(), "Class: Exception message, Sequence: 77");
}

class CFixedFactory final : public IMessageFactory {
 public:
  boost::shared_ptr<IMessage> Create(const message_header_t& header, IInputStream&) override {
    seen = header;
    return boost::make_shared<CExceptionMessage>(nullptr, header.sequence);
  }
  message_header_t seen{};
};

TEST(MessageDeserializationContext, GenericFactoryIsRegisteredAndOthersCanBeAdded) {
  CMessageDeserializationContext context;
  EXPECT_TRUE(boost::dynamic_pointer_cast<CGenericMessageFactory>(context.GetFactory(0)));
  EXPECT_EQ(context.GetFactory(0), context.GetFactory(1));

  CMemoryOutputStream out;
  CGenericMessage().Serialize(out);
  CMemoryInputStream in(out.Data());
  EXPECT_TRUE(boost::dynamic_pointer_cast<CGenericMessage>(context.Create({0, 0}, in)));

  auto proxy = boost::make_shared<CFixedFactory>();
  context.Register(106, proxy);
  CMemoryInputStream nothing(Bytes{});
  EXPECT_TRUE(context.Create({106, 5}, nothing));
  EXPECT_EQ(proxy->seen.sequence, 5u);

  context.Register(106, nullptr);
  EXPECT_THROW(context.Create({106, 5}, nothing), exc::runtime_exc_t);
}

}  // namespace
}  // namespace io::message
