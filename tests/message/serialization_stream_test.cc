// The fixed-capacity cursor that message bodies are built and parsed with.
#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include "exc/exceptions.h"
#include "io/message/serialization_stream.h"
#include "tests/exc/what_of.h"

namespace io::message {
namespace {

using buffer_t = CSerializationStream::buffer_t;

buffer_t Buffer(size_t size) {
  return boost::make_shared<std::vector<uint8_t>>(size);
}

std::string ErrorOf(auto&& action) {
  return exctest::WhatOf<exc::runtime_exc_t>(action);
}

TEST(SerializationStream, NullOrEmptyBufferIsRefused) {
  const std::string expected =
      "CSerializationStream::CSerializationStream(): Incorrect parameter <data: {null}>";
  EXPECT_EQ(ErrorOf([] { CSerializationStream s(nullptr); }), expected);
  EXPECT_EQ(ErrorOf([] { CSerializationStream s(Buffer(0)); }), expected);
}

TEST(SerializationStream, WritesUpToCapacityThenRefusesWithoutMoving) {
  CSerializationStream s(Buffer(6));
  s.WriteValue<uint32_t>(0xA1B2C3D4);
  EXPECT_EQ(s.Used(), 4u);
  EXPECT_EQ(ErrorOf([&] { s.WriteValue<uint32_t>(1); }),
            "CSerializationStream::Write(): Failed to write into buffer, not enough space");
  EXPECT_EQ(s.Position(), 4u);
  s.WriteValue<uint16_t>(0x0102);
  EXPECT_EQ(s.Used(), 6u);
  EXPECT_EQ(*s.Buffer(), (std::vector<uint8_t>{0xD4, 0xC3, 0xB2, 0xA1, 0x02, 0x01}));
  s.Write(nullptr, 0);  // nothing to move is not an overrun
  EXPECT_EQ(s.Position(), 6u);
}

TEST(SerializationStream, ReadsStopAtUsedNotAtCapacity) {
  auto buffer = Buffer(8);
  (*buffer)[0] = 0x2A;
  CSerializationStream s(buffer, 3);
  EXPECT_EQ(s.ReadValue<uint8_t>(), 0x2A);
  EXPECT_EQ(s.Remaining(), 2u);
  EXPECT_EQ(ErrorOf([&] { s.ReadValue<uint32_t>(); }),
            "CSerializationStream::Read(): Failed to read from buffer, not enough data");
  EXPECT_EQ(s.Position(), 1u);
  uint8_t two[2];
  s.Read(two, 2);
  s.Read(nullptr, 0);
  EXPECT_EQ(s.Remaining(), 0u);
}

TEST(SerializationStream, HugeRequestsDoNotWrapAround) {
  CSerializationStream s(Buffer(16), 16);
  s.ReadSpan(8);
  EXPECT_THROW(s.ReadSpan(0xFFFFFFFF), exc::runtime_exc_t);
  EXPECT_THROW(s.Write(s.Buffer()->data(), 0xFFFFFFF9), exc::runtime_exc_t);
  EXPECT_EQ(s.Position(), 8u);
}

}  // namespace
}  // namespace io::message
