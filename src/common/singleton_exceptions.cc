#include "common/singleton_exceptions.h"

#include <boost/make_shared.hpp>

namespace common {

boost::shared_ptr<exc::exc_base_t> CSingletonManagerIsNotInitializedExc::clone() const {
  return boost::make_shared<CSingletonManagerIsNotInitializedExc>(*this);
}

void CSingletonManagerIsNotInitializedExc::rethrow() const {
  throw *this;
}

boost::shared_ptr<exc::exc_base_t> CSingletonIsNotInitializedExc::clone() const {
  return boost::make_shared<CSingletonIsNotInitializedExc>(*this);
}

void CSingletonIsNotInitializedExc::rethrow() const {
  throw *this;
}

}  // namespace common
