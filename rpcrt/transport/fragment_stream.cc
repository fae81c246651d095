#include "rpcrt/transport/fragment_stream.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace rpcrt::transport {

namespace {

constexpr size_t kFirstBlockSize = 16 * 1024;

}  // namespace

void FragmentReader::Fill(size_t wanted, Deadline deadline) {
  if (end_ - begin_ >= wanted) return;
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  // Small at first, so that an idle connection holds a few KiB rather than a whole block. A
  // receive that fills the buffer shows a stream with more to come: the buffer doubles, up to
  // the block size, and later receives take more at once.
  if (const size_t size = std::max({wanted, std::min(block_size_, kFirstBlockSize)});
      buffer_.size() < size)
    buffer_.resize(size);
  while (end_ < wanted) {
    end_ += socket_.ReadSome(std::span<uint8_t>(buffer_).subspan(end_), deadline);
    if (end_ == buffer_.size() && buffer_.size() < block_size_)
      buffer_.resize(std::min(block_size_, buffer_.size() * 2));
  }
}

Fragment FragmentReader::Next(Deadline deadline) {
  Fill(kCommonHeaderSize, deadline);
  Fragment f;
  f.header =
      DecodeCommonHeader(std::span<const uint8_t>(buffer_).subspan(begin_, kCommonHeaderSize));
  // frag_length is 16 bits, so one fragment never asks for more than 64 KiB.
  Fill(f.header.frag_length, deadline);
  f.bytes.assign(buffer_.begin() + static_cast<ptrdiff_t>(begin_),
                 buffer_.begin() + static_cast<ptrdiff_t>(begin_ + f.header.frag_length));
  begin_ += f.header.frag_length;
  if (begin_ == end_) begin_ = end_ = 0;
  return f;
}

void FragmentWriter::Add(std::span<const uint8_t> fragment, Deadline deadline) {
  pending_.insert(pending_.end(), fragment.begin(), fragment.end());
  if (pending_.size() >= kDefaultBlockSize) Flush(deadline);
}

void FragmentWriter::Add(std::vector<uint8_t>&& fragment, Deadline deadline) {
  if (!pending_.empty()) return Add(std::span<const uint8_t>(fragment), deadline);
  pending_ = std::move(fragment);
  if (pending_.size() >= kDefaultBlockSize) Flush(deadline);
}

void FragmentWriter::Flush(Deadline deadline) {
  if (pending_.empty()) return;
  socket_.WriteAll(pending_, deadline);
  pending_.clear();
}

}  // namespace rpcrt::transport
