// The root of the library's exception family.
//
// An exception is an ordered list of message lines that grows while it travels outwards:
// each layer that catches it may add a line of context and throw it on. Trace lines (error
// codes, stack frames) stay in what() behind the marker "--tr:" and are left out of the
// plain text. The object also records the id of the thread that created it.
#pragma once

#include <cstdint>
#include <exception>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <boost/shared_ptr.hpp>

namespace exc {

class CBufReader;
class CBufWriter;

struct message_line_t {
  std::string text;
  bool trace = false;
  bool operator==(const message_line_t&) const = default;
};

// Named and numbered texts that travel with an exception. Names order byte-wise.
struct exc_properties_t {
  std::map<std::string, std::string> named;
  std::vector<std::pair<uint32_t, std::string>> numbered;

  // Adds the names not yet present (existing names keep their value) and appends every
  // numbered entry.
  void merge(const exc_properties_t& other);
  bool operator==(const exc_properties_t&) const = default;
};

// Rewrites message texts, e.g. into another language.
class IMessageTranslator {
 public:
  virtual ~IMessageTranslator() = default;
  virtual std::string translate(const std::string& text) = 0;
};

class exc_base_t : public std::exception {
 public:
  exc_base_t();
  explicit exc_base_t(std::string text);
  exc_base_t(const exc_base_t&) = default;
  exc_base_t& operator=(const exc_base_t&) = default;
  ~exc_base_t() override;

  // The lines joined by "\n", trace lines prefixed "--tr:". Never null.
  const char* what() const noexcept override;

  // A heap copy; classes that do not override it are copied as a plain exc_base_t.
  virtual boost::shared_ptr<exc_base_t> clone() const;
  // Throws a copy by value; classes that do not override it throw a plain exc_base_t.
  [[noreturn]] virtual void rethrow() const;
  // Replaces lines and properties from a saved record; on failure the object is unchanged
  // and the reader's exception passes on.
  virtual void load(CBufReader& reader);
  // Writes lines and properties as a saved record.
  virtual void save(CBufWriter& writer) const;
  virtual void apply_translator(const boost::shared_ptr<IMessageTranslator>& translator);

  void add_line(std::string text);
  void add_trace_line(std::string text);
  // The trace line "Stack:" and the lines of the calling thread's stack.
  void add_stack_trace();

  const std::vector<message_line_t>& lines() const { return lines_; }
  const std::string& get_plain_text() const { return plain_text_; }
  const exc_properties_t& properties() const { return properties_; }
  exc_properties_t& properties() { return properties_; }
  uint32_t thread_id() const { return thread_id_; }

 private:
  void rebuild_text();

  std::vector<message_line_t> lines_;
  std::string full_text_;
  std::string plain_text_;
  exc_properties_t properties_;
  uint32_t thread_id_;
};

}  // namespace exc
