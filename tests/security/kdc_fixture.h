// A throw-away MIT KDC (realm ZELQA.TEST on a free loopback port, in a temp dir with its
// own krb5.conf, ticket cache and keytab) for the length of one test program.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace zelqa::testing {

class Kdc {
 public:
  // Starts the KDC and points KRB5_CONFIG, KRB5CCNAME, KRB5_KTNAME and friends at it, so that
  // nothing the tests do leaves the machine. Throws std::runtime_error if it cannot start.
  Kdc();
  ~Kdc();
  Kdc(const Kdc&) = delete;
  Kdc& operator=(const Kdc&) = delete;

  static constexpr const char* kRealm = "ZELQA.TEST";
  const std::string& dir() const { return dir_; }
  std::string keytab() const { return dir_ + "/zelqa.keytab"; }
  // The passwords of alice and bob, read from the files the KDC script wrote.
  std::string Password(const std::string& user) const;

 private:
  std::string dir_;
};

// The KDC for every test of the program: registered as a gtest Environment.
class KdcEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { kdc_ = std::make_unique<Kdc>(); }
  void TearDown() override { kdc_.reset(); }
  static Kdc& kdc() { return *kdc_; }

 private:
  static inline std::unique_ptr<Kdc> kdc_;
};

}  // namespace zelqa::testing
