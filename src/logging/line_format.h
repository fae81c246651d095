// The fixed-width channel tag that starts the text part of every line a channel writes.
#pragma once

#include <string>
#include <string_view>

namespace logging::format {

class line_format_t {
 public:
  // Width of the name part; longer names are cut, shorter ones padded with blanks.
  static constexpr size_t kNameWidth = 9;

  // The tag of the channel `name`: the name fitted to nine characters, then "| ".
  explicit line_format_t(std::string_view name = {});

  const std::string& tag() const { return tag_; }

 private:
  std::string tag_;
};

}  // namespace logging::format
