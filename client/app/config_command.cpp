// cv2ctl config: list, get, set, delete and init the values of the settings store.
#include <ostream>

#include "cv2ctl_commands.h"
#include "paths.h"
#include "registry.h"
#include "settings_store.h"
#include "settings_table.h"
#include "text_util.h"

namespace cv2 {

namespace {

constexpr const char* kUsage =
    "usage: cv2ctl config list\n"
    "       cv2ctl config get NAME\n"
    "       cv2ctl config set NAME VALUE\n"
    "       cv2ctl config delete NAME\n"
    "       cv2ctl config init\n";

std::string Show(const RegValue& value, bool secret) {
  if (value.Type == ValueType::Dword) return std::to_string(static_cast<int32_t>(value.Dword));
  if (secret && !value.Str.empty()) return "********";
  return "\"" + value.Str + "\"";
}

const char* TypeName(ValueType type) { return type == ValueType::Dword ? "REG_DWORD" : "REG_SZ"; }

int List(RegistryBackend& store, std::ostream& out) {
  std::vector<std::string> shown;
  for (const auto& info : SettingsTable()) {
    auto value = store.GetValue(kSettingsKey, info.Name);
    out << info.Name << " = ";
    if (!value) out << "(missing)";
    else {
      out << Show(*value, info.Secret);
      if (value->Type != info.Type) out << " (stored as " << TypeName(value->Type) << ")";
    }
    out << "\n";
  }
  // Values the table does not know, in the store's order.
  for (const auto& name : store.ValueNames(kSettingsKey)) {
    if (FindSetting(name)) continue;
    auto value = store.GetValue(kSettingsKey, name);
    if (value) out << name << " = " << Show(*value, false) << " (not a known setting)\n";
  }
  return 0;
}

int Get(RegistryBackend& store, const std::string& name, std::ostream& out, std::ostream& err) {
  auto value = store.GetValue(kSettingsKey, name);
  if (!value) {
    err << "cv2ctl config: '" << name << "' is not stored\n";
    return 1;
  }
  if (value->Type == ValueType::Dword) out << static_cast<int32_t>(value->Dword) << "\n";
  else out << value->Str << "\n";
  return 0;
}

int Set(RegistryBackend& store, const std::string& name, const std::string& text,
        std::ostream& out, std::ostream& err) {
  ValueType type;
  if (!SettingTypeOf(name, type)) {
    err << "cv2ctl config: cannot tell the type of '" << name
        << "': it is not a known setting, and only names ending in CHK, COMBO or TRACK (numbers) "
           "or TXT (text) say their type\n";
    return 1;
  }
  const SettingInfo* info = FindSetting(name);
  const std::string storedName = info ? info->Name : name;
  Registry reg(store);
  if (!reg.OpenKey(kSettingsKey, true)) {
    err << "cv2ctl config: the settings key cannot be created\n";
    return 1;
  }
  if (type == ValueType::Dword) {
    auto number = ParseInt32(text);
    if (!number) {
      err << "cv2ctl config: '" << text << "' is not a valid value for " << storedName
          << ": a whole number is expected (REG_DWORD)\n";
      return 1;
    }
    reg.WriteInteger(storedName, *number);
    out << storedName << " = " << *number << "\n";
  } else {
    reg.WriteString(storedName, text);
    out << storedName << " = " << Show(RegValue::MakeString(text), info && info->Secret) << "\n";
  }
  return 0;
}

int Delete(RegistryBackend& store, const std::string& name, std::ostream& out) {
  if (store.DeleteValue(kSettingsKey, name)) out << name << " deleted\n";
  else out << name << " was not stored\n";
  return 0;
}

int Init(RegistryBackend& store, std::ostream& out) {
  auto written = InitSettings(store);
  for (const auto& name : written) out << name << " set to its default\n";
  out << written.size() << " setting(s) written, "
      << WindowSettings().size() - written.size() << " already present\n";
  return 0;
}

}  // namespace

int ConfigCommand(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage;
    return 1;
  }
  const std::string& verb = args[0];
  const size_t expected = verb == "list" || verb == "init" ? 1
                          : verb == "get" || verb == "delete" ? 2
                          : verb == "set" ? 3
                          : 0;
  if (expected == 0 || args.size() != expected) {
    err << kUsage;
    return 1;
  }
  try {
    auto store = OpenSettingsStore(DataRoot());
    if (verb == "list") return List(*store, out);
    if (verb == "get") return Get(*store, args[1], out, err);
    if (verb == "set") return Set(*store, args[1], args[2], out, err);
    if (verb == "delete") return Delete(*store, args[1], out);
    return Init(*store, out);
  } catch (const RegistryError& e) {
    err << "cv2ctl config: " << e.what();
    if (!e.Detail().empty()) err << " (" << e.Detail() << ")";
    err << "\n";
  } catch (const std::exception& e) {
    err << "cv2ctl config: " << e.what() << "\n";
  }
  return 1;
}

}  // namespace cv2
