// The property reader over scripted answers of the device source: the size probe, a property
// that grows between probe and read, the errors the system may report.
#include <gtest/gtest.h>

#include "fake_device_source.h"
#include "hardware_list.h"

namespace cv2::hwsense {
namespace {

using Reply = FakeDeviceSource::Reply;
using Strings = std::vector<std::string>;

Reply Fail(uint32_t error, std::string data) {
  return {false, error, REG_MULTI_SZ, std::move(data)};
}
Reply Succeed(uint32_t lastError, std::string data) {
  return {true, lastError, REG_MULTI_SZ, std::move(data)};
}
std::string Bytes(const char* text, size_t size) {
  return std::string(text, size);
}

struct ReaderCase {
  const char* Name;
  std::optional<DeviceProperty> Stored;
  std::deque<Reply> Script;
  std::optional<Strings> Expected;
  Strings Errors;
};

TEST(PropertyReader, Branches) {
  const std::string box13 = "SetupDiGetDeviceRegistryProperty() failed: GetLastError returned 13\n";
  const std::string box31 = "SetupDiGetDeviceRegistryProperty() failed: GetLastError returned 31\n";
  const DeviceProperty ab = DeviceProperty::MultiString({"A", "B"});
  std::deque<Reply> endless(40, Fail(ERROR_SUCCESS, ""));
  const ReaderCase cases[] = {
      {"stored multi-string", ab, {}, Strings{"A", "B"}, {}},
      {"missing property", std::nullopt, {}, Strings{}, {}},
      {"grew between probe and read",
       ab,
       {Fail(ERROR_INSUFFICIENT_BUFFER, Bytes("A\0\0", 3)),
        Fail(ERROR_INSUFFICIENT_BUFFER, Bytes("A\0B\0\0", 5))},
       Strings{"A", "B"},
       {}},
      {"error 0 asks again",
       ab,
       {Fail(ERROR_SUCCESS, ""), Fail(ERROR_SUCCESS, "")},
       Strings{"A", "B"},
       {}},
      {"same size after a failure: the zero-filled buffer is final",
       ab,
       {Fail(ERROR_INSUFFICIENT_BUFFER, Bytes("A\0\0", 3)), Fail(5, Bytes("Z\0\0", 3))},
       Strings{},
       {}},
      {"another error ends with no list",
       ab,
       {Fail(ERROR_INSUFFICIENT_BUFFER, Bytes("A\0\0", 3)), Fail(5, Bytes("A\0B\0\0", 5))},
       std::nullopt,
       {}},
      {"success that leaves an error reports it",
       ab,
       {Fail(ERROR_INSUFFICIENT_BUFFER, Bytes("A\0\0", 3)), Succeed(31, Bytes("A\0\0", 3))},
       Strings{"A"},
       {box31}},
      {"success that leaves invalid data reports it and gives no list",
       ab,
       {Fail(ERROR_INSUFFICIENT_BUFFER, Bytes("A\0\0", 3)), Succeed(13, Bytes("A\0\0", 3))},
       std::nullopt,
       {box13}},
      {"a string without its zero ends at the reported size",
       DeviceProperty{REG_SZ, "ABC"},
       {},
       Strings{"ABC"},
       {}},
      {"an empty string gives no entry", DeviceProperty::String(""), {}, Strings{}, {}},
      {"install state 0 gives no line", DeviceProperty::Dword(0), {}, Strings{}, {}},
      {"install state 28 gives its decimal", DeviceProperty::Dword(28), {}, Strings{"28"}, {}},
      {"a source that never answers is given up", ab, endless, std::nullopt, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    FakeDeviceSource source;
    DeviceRecord device;
    if (c.Stored) device.Properties[SPDRP_HARDWAREID] = *c.Stored;
    source.Devices = {device};
    source.Script(0, SPDRP_HARDWAREID, c.Script);
    Strings errors;
    HwListState state{source, [&](const std::string& text) { errors.push_back(text); }};
    const DeviceSetHandle set = source.GetClassDevs(DIGCF_PRESENT | DIGCF_ALLCLASSES);
    DeviceInfoData data;
    data.CbSize = kDeviceInfoDataSize;
    ASSERT_TRUE(source.EnumDeviceInfo(set, 0, data));
    EXPECT_EQ(ReadDeviceProperty(state, set, data, SPDRP_HARDWAREID), c.Expected);
    EXPECT_EQ(errors, c.Errors);
    source.DestroyDeviceInfoList(set);
  }
}

}  // namespace
}  // namespace cv2::hwsense
