// Loads arbitrary bytes as a saved exception record. Every outcome is either an
// exc::runtime_exc_t from the reader, or a loaded object whose own record is no longer than
// the bytes it consumed and loads back to the same texts, properties and code.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include <boost/make_shared.hpp>

#include "exc/buf_io.h"
#include "exc/exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  exc::CBufReader reader(4096, boost::make_shared<const std::vector<uint8_t>>(data, data + size));
  exc::win_sys_exc_t loaded;
  try {
    loaded.load(reader);
  } catch (const exc::runtime_exc_t&) {
    return 0;
  }
  exc::CBufWriter writer;
  loaded.save(writer);
  if (writer.position() > reader.position()) std::abort();

  exc::CBufReader again(4096, boost::make_shared<const std::vector<uint8_t>>(writer.written()));
  exc::win_sys_exc_t reloaded;
  reloaded.load(again);
  if (reloaded.get_plain_text() != loaded.get_plain_text() ||
      std::string(reloaded.what()) != loaded.what() ||
      !(reloaded.properties() == loaded.properties()) ||
      reloaded.error_code() != loaded.error_code()) {
    std::abort();
  }
  return 0;
}
