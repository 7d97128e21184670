#include "hardware_list_source.h"

#include <dlfcn.h>
#include <unistd.h>

#include "error.h"
#include "paths.h"

namespace cv2 {

std::string HardwareListFromLibrary(const std::string& libraryName) {
  // The library lives beside the program. The program's RUNPATH ($ORIGIN) says so too, but a
  // dlopen wrapped by a sanitizer runtime searches with the runtime's paths instead, so the
  // program folder is tried by its full path first.
  const std::string beside = JoinPath(ProgramFolder(), libraryName);
  void* library = nullptr;
  if (libraryName.find('/') == std::string::npos && access(beside.c_str(), F_OK) == 0)
    library = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
  else
    library = dlopen(libraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
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
