// A stand-in for the hardware library in tests: _GetHwList returns the text of the file that
// FAKE_HWSENSE_LIST names, and raises through the call when the variable is not set.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

extern "C" __attribute__((visibility("default"))) const char* _GetHwList() {
  static std::string text;  // the library's own buffer, valid until it is unloaded
  const char* path = std::getenv("FAKE_HWSENSE_LIST");
  if (!path) throw std::runtime_error("no hardware list");
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return text.c_str();
}
