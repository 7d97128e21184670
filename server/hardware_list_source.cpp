#include "hardware_list_source.h"

#include <dlfcn.h>

#include "error.h"

namespace cv2 {

std::string HardwareListFromLibrary(const std::string& libraryName) {
  void* library = dlopen(libraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = dlerror();
    throw Error("cannot load " + libraryName + " (" + (why ? why : "unknown error") +
                "); give a hardware list with --hwlist FILE");
  }
  using GetHwList = const char* (*)();
  auto call = reinterpret_cast<GetHwList>(dlsym(library, "_GetHwList"));
  if (!call) {
    dlclose(library);
    throw Error(libraryName + " has no export _GetHwList; give a hardware list with --hwlist FILE");
  }
  std::string text;
  try {
    // The text belongs to the library: copy it before unloading.
    const char* list = call();
    if (!list) {
      dlclose(library);
      throw Error(libraryName + " could not enumerate the devices of this machine");
    }
    text = list;
  } catch (const Error&) {
    throw;
  } catch (...) {
    dlclose(library);
    throw Error("the call of _GetHwList in " + libraryName + " failed");
  }
  dlclose(library);
  return text;
}

}  // namespace cv2
