#include "library_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include "paths.h"

namespace cv2 {

namespace {
class DlLibrary : public LoadedLibrary {
 public:
  explicit DlLibrary(void* handle) : m_handle(handle) {}
  ~DlLibrary() override { dlclose(m_handle); }
  DlLibrary(const DlLibrary&) = delete;
  DlLibrary& operator=(const DlLibrary&) = delete;
  void* Symbol(const std::string& name) override { return dlsym(m_handle, name.c_str()); }

 private:
  void* m_handle;
};
}  // namespace

std::unique_ptr<LoadedLibrary> DlLibraryLoader::Load(const std::string& fileName) {
  // A bare name is looked for beside the program first. RUNPATH would find it there too, but
  // the loader consults the RUNPATH of the object that calls dlopen, and that is not always the
  // program (a sanitizer runtime intercepts dlopen and calls it itself).
  std::string path = fileName;
  if (fileName.find('/') == std::string::npos) {
    std::string beside = JoinPath(ProgramFolder(), fileName);
    if (access(beside.c_str(), F_OK) == 0) path = beside;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    m_error = why ? why : "unknown error";
    return nullptr;
  }
  m_error.clear();
  return std::make_unique<DlLibrary>(handle);
}

}  // namespace cv2
