#include "exc/exc_base.h"

#include <boost/make_shared.hpp>

#include "exc/buf_io.h"
#include "exc/stack_trace.h"
#include "platform/thread_id.h"

namespace exc {
namespace {

constexpr std::string_view kTraceMarker = "--tr:";

}  // namespace

void exc_properties_t::merge(const exc_properties_t& other) {
  for (const auto& entry : other.named) named.insert(entry);  // keeps existing names
  numbered.insert(numbered.end(), other.numbered.begin(), other.numbered.end());
}

exc_base_t::exc_base_t() : thread_id_(GetCurrentThreadId()) {}

exc_base_t::exc_base_t(std::string text) : thread_id_(GetCurrentThreadId()) {
  add_line(std::move(text));
}

exc_base_t::~exc_base_t() = default;

const char* exc_base_t::what() const noexcept {
  return full_text_.c_str();
}

boost::shared_ptr<exc_base_t> exc_base_t::clone() const {
  return boost::make_shared<exc_base_t>(*this);
}

void exc_base_t::rethrow() const {
  throw exc_base_t(*this);
}

void exc_base_t::load(CBufReader& reader) {
  std::vector<message_line_t> lines;
  const uint32_t line_count = reader.read_u32();
  for (uint32_t i = 0; i < line_count; ++i) {
    message_line_t line;
    line.text = reader.read_text();
    line.trace = reader.read_bool();
    lines.push_back(std::move(line));
  }
  exc_properties_t properties;
  const uint32_t map_count = reader.read_u32();
  for (uint32_t i = 0; i < map_count; ++i) {
    std::string name = reader.read_text();
    std::string value = reader.read_text();
    properties.named.insert_or_assign(std::move(name), std::move(value));
  }
  const uint32_t list_count = reader.read_u32();
  for (uint32_t i = 0; i < list_count; ++i) {
    const uint32_t number = reader.read_u32();
    properties.numbered.emplace_back(number, reader.read_text());
  }
  lines_ = std::move(lines);
  properties_ = std::move(properties);
  rebuild_text();
}

void exc_base_t::save(CBufWriter& writer) const {
  writer.write_u32(static_cast<uint32_t>(lines_.size()));
  for (const auto& line : lines_) {
    writer.write_text(line.text);
    writer.write_bool(line.trace);
  }
  writer.write_u32(static_cast<uint32_t>(properties_.named.size()));
  for (const auto& [name, value] : properties_.named) {
    writer.write_text(name);
    writer.write_text(value);
  }
  writer.write_u32(static_cast<uint32_t>(properties_.numbered.size()));
  for (const auto& [number, text] : properties_.numbered) {
    writer.write_u32(number);
    writer.write_text(text);
  }
}

void exc_base_t::apply_translator(const boost::shared_ptr<IMessageTranslator>& translator) {
  if (!translator) return;
  for (auto& line : lines_) line.text = translator->translate(line.text);
  rebuild_text();
}

void exc_base_t::add_line(std::string text) {
  lines_.push_back({std::move(text), false});
  rebuild_text();
}

void exc_base_t::add_trace_line(std::string text) {
  lines_.push_back({std::move(text), true});
  rebuild_text();
}

void exc_base_t::add_stack_trace() {
  add_trace_line("Stack:");
  for (auto& line : capture_stack_lines()) add_trace_line(std::move(line));
}

void exc_base_t::rebuild_text() {
  size_t full_size = 0;
  size_t plain_size = 0;
  for (const auto& line : lines_) {
    full_size += line.text.size() + 1 + (line.trace ? kTraceMarker.size() : 0);
    plain_size += line.text.size() + 1;
  }
  std::string full;
  std::string plain;
  full.reserve(full_size);
  plain.reserve(plain_size);
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (i > 0) {
      full.push_back('\n');
      plain.push_back('\n');
    }
    plain.append(lines_[i].text);
    if (lines_[i].trace) full.append(kTraceMarker);
    full.append(lines_[i].text);
  }
  full_text_ = std::move(full);
  plain_text_ = std::move(plain);
}

}  // namespace exc
