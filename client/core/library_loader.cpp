#include "library_loader.h"

#include <dlfcn.h>

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
  void* handle = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    m_error = why ? why : "unknown error";
    return nullptr;
  }
  m_error.clear();
  return std::make_unique<DlLibrary>(handle);
}

}  // namespace cv2
