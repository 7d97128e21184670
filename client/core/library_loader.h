#pragma once
// The library port: load a shared library by file name, look up an export, unload it.
#include <memory>
#include <string>

namespace cv2 {

class LoadedLibrary {
 public:
  virtual ~LoadedLibrary() = default;  // unloads the library
  // The address of an export, or null when the library has none of that name.
  virtual void* Symbol(const std::string& name) = 0;
};

class LibraryLoader {
 public:
  virtual ~LibraryLoader() = default;
  // Null when the library cannot be loaded; Error() then says why.
  virtual std::unique_ptr<LoadedLibrary> Load(const std::string& fileName) = 0;
  virtual std::string Error() const { return {}; }
};

// dlopen / dlsym / dlclose. A bare file name is found through the loading program's RUNPATH
// ($ORIGIN: beside the executable), then the system's search.
class DlLibraryLoader : public LibraryLoader {
 public:
  std::unique_ptr<LoadedLibrary> Load(const std::string& fileName) override;
  std::string Error() const override { return m_error; }

 private:
  std::string m_error;
};

}  // namespace cv2
