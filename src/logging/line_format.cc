#include "logging/line_format.h"

namespace logging::format {

line_format_t::line_format_t(std::string_view name) {
  tag_.assign(name.substr(0, kNameWidth));
  tag_.resize(kNameWidth, ' ');
  tag_ += "| ";
}

}  // namespace logging::format
