// The exported entry points. Each call works on a context of its own (the root to read, the
// device source, where property-read failures are reported) and leaves nothing behind but its
// result, which the library keeps until it is unloaded.
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "hardware_list.h"
#include "hw_context.h"
#include "hwsense.h"
#include "sysfs_device_source.h"

namespace {

using cv2::hwsense::HwListState;

// The results of all calls so far. They go when the library is unloaded.
class ResultStore {
 public:
  const char* Keep(const std::string& text) {
    auto block = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(block.get(), text.c_str(), text.size() + 1);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_blocks.push_back(std::move(block));
    return m_blocks.back().get();
  }

 private:
  std::mutex m_mutex;
  std::vector<std::unique_ptr<char[]>> m_blocks;
};

ResultStore g_results;

template <class Work>
const char* RunListCall(Work work) {
  const cv2::hwsense::HwContext context = cv2::hwsense::HwContext::FromEnvironment();
  cv2::hwsense::SysfsDeviceSource source(context);
  // Without a window the property-read failure box becomes a line on standard error.
  HwListState state{source, [](const std::string& text) { std::fputs(text.c_str(), stderr); }};
  std::optional<std::string> text = work(state);
  if (!text) return nullptr;
  return g_results.Keep(*text);
}

}  // namespace

extern "C" {

HWSENSE_EXPORT const char* _GetHwList(void) {
  return RunListCall([](HwListState& state) { return cv2::hwsense::BuildHardwareList(state); });
}

HWSENSE_EXPORT const char* _HwList(void) {
  return RunListCall([](HwListState& state) {
    return cv2::hwsense::BuildIdList(state, cv2::hwsense::SPDRP_HARDWAREID);
  });
}

HWSENSE_EXPORT const char* _HwCompatibleList(void) {
  return RunListCall([](HwListState& state) {
    return cv2::hwsense::BuildIdList(state, cv2::hwsense::SPDRP_COMPATIBLEIDS);
  });
}

}  // extern "C"
