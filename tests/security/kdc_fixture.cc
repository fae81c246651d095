#include "kdc_fixture.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace zelqa::testing {

namespace {

std::string Shell(const std::string& command) {
  return "'" + command + "'";
}

void Run(const std::string& command) {
  const int rc = std::system(command.c_str());
  if (rc == -1 || !WIFEXITED(rc) || WEXITSTATUS(rc) != 0) {
    throw std::runtime_error("command failed: " + command);
  }
}

}  // namespace

Kdc::Kdc() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zelqa-kdc-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
  Run(Shell(ZELQA_KDC_SCRIPT) + " start " + Shell(dir_));
  // Take over the variables the script wrote ("export NAME=value" lines).
  std::ifstream env(dir_ + "/env");
  std::string line;
  while (std::getline(env, line)) {
    const std::string prefix = "export ";
    if (line.rfind(prefix, 0) != 0) continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    setenv(line.substr(prefix.size(), eq - prefix.size()).c_str(), line.substr(eq + 1).c_str(), 1);
  }
  // MIT's own mechanisms only. gss-ntlmssp, where installed, joins every credential MIT's
  // SPNEGO acquires with a password and leaks a digest object at each acquisition.
  const std::string no_plugins = dir_ + "/mech.conf";
  std::ofstream(no_plugins).close();
  setenv("GSS_MECH_CONFIG", no_plugins.c_str(), 1);
}

Kdc::~Kdc() {
  std::system((Shell(ZELQA_KDC_SCRIPT) + " stop " + Shell(dir_)).c_str());
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string Kdc::Password(const std::string& user) const {
  std::ifstream in(dir_ + "/" + user + ".password");
  std::string password;
  std::getline(in, password);
  if (password.empty()) throw std::runtime_error("no password file for " + user);
  return password;
}

}  // namespace zelqa::testing

namespace {
// Every test program that links the fixture gets its KDC.
[[maybe_unused]] ::testing::Environment* const kKdcEnvironment =
    ::testing::AddGlobalTestEnvironment(new zelqa::testing::KdcEnvironment);
}  // namespace
