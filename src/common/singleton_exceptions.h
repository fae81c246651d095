// The two ways a singleton request fails besides the construction of the type itself.
#pragma once

#include <string>

#include "exc/exc_base.h"

namespace common {

// No manager is installed, or an installer holds the manager's lock right now.
class CSingletonManagerIsNotInitializedExc : public exc::exc_base_t {
 public:
  explicit CSingletonManagerIsNotInitializedExc(std::string message)
      : exc_base_t(std::move(message)) {}

  boost::shared_ptr<exc::exc_base_t> clone() const override;
  [[noreturn]] void rethrow() const override;
};

// An earlier construction of the requested type failed; it is not tried again.
class CSingletonIsNotInitializedExc : public exc::exc_base_t {
 public:
  explicit CSingletonIsNotInitializedExc(std::string message) : exc_base_t(std::move(message)) {}

  boost::shared_ptr<exc::exc_base_t> clone() const override;
  [[noreturn]] void rethrow() const override;
};

}  // namespace common
