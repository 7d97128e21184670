#include "driver_info.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <climits>
#include <ctime>

#include "text_util.h"

namespace cv2::hwsense {

namespace {
constexpr size_t kModuleTableLimit = 64u << 20;

std::string DateText(int year, int month, int day) {
  return std::to_string(month) + "-" + std::to_string(day) + "-" + std::to_string(year);
}

std::string DateOfTime(time_t when) {
  std::tm tm{};
  if (!gmtime_r(&when, &tm)) return {};
  return DateText(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

int MonthNumber(const std::string& token) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int i = 0; i < 12; ++i)
    if (token == kMonths[i]) return i + 1;
  return 0;
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

int CountWildcards(const std::string& pattern) {
  int n = 0;
  for (char c : pattern)
    if (c == '*' || c == '?' || c == '[') ++n;
  return n;
}

// The fields of an alias such as "pci:v00008086d*sv*..." by key: lower-case keys, values up to
// the next lower-case letter. A value counts only when it is fixed (no wildcard).
std::map<std::string, std::string> AliasFields(std::string body) {
  // The final "*" stands for whatever follows the last field, not for part of its value.
  if (!body.empty() && body.back() == '*') body.pop_back();
  std::map<std::string, std::string> fields;
  size_t pos = 0;
  while (pos < body.size()) {
    size_t keyEnd = pos;
    while (keyEnd < body.size() && body[keyEnd] >= 'a' && body[keyEnd] <= 'z') ++keyEnd;
    size_t valueEnd = keyEnd;
    while (valueEnd < body.size() && !(body[valueEnd] >= 'a' && body[valueEnd] <= 'z')) ++valueEnd;
    if (keyEnd == pos) break;
    std::string value = body.substr(keyEnd, valueEnd - keyEnd);
    if (!value.empty() && CountWildcards(value) == 0)
      fields[body.substr(pos, keyEnd - pos)] = value;
    pos = valueEnd;
  }
  return fields;
}

std::string Last(const std::string& value, size_t digits) {
  std::string v = AsciiLower(value);
  return v.size() > digits ? v.substr(v.size() - digits) : v;
}
}  // namespace

std::string KernelBuildDate(const std::string& kernelVersion) {
  auto tokens = Split(kernelVersion, ' ');
  for (const auto& token : tokens) {
    // A timestamp given as seconds since 1970 ("@1706745600"); "@0" means none was recorded.
    if (token.size() > 1 && token[0] == '@' && AllDigits(token.substr(1))) {
      const long long seconds = std::stoll(token.substr(1));
      if (seconds > 0) return DateOfTime(static_cast<time_t>(seconds));
      return {};
    }
    // Debian's "(2024-02-01)".
    if (token.size() == 12 && token.front() == '(' && token.back() == ')' && token[5] == '-' &&
        token[8] == '-' && AllDigits(token.substr(1, 4)) && AllDigits(token.substr(6, 2)) &&
        AllDigits(token.substr(9, 2)))
      return DateText(std::stoi(token.substr(1, 4)), std::stoi(token.substr(6, 2)),
                      std::stoi(token.substr(9, 2)));
  }
  // The date(1) form: "Mon Jan 29 19:51:36 UTC 2024".
  std::vector<std::string> words;
  for (const auto& token : tokens)
    if (!token.empty()) words.push_back(token);
  for (size_t i = 0; i + 1 < words.size(); ++i) {
    const int month = MonthNumber(words[i]);
    if (!month || !AllDigits(words[i + 1]) || words[i + 1].size() > 2) continue;
    for (size_t j = i + 2; j < words.size(); ++j)
      if (words[j].size() == 4 && AllDigits(words[j]))
        return DateText(std::stoi(words[j]), month, std::stoi(words[i + 1]));
  }
  return {};
}

std::string FourPartVersion(const std::string& text) {
  std::vector<unsigned long> parts;
  size_t pos = 0;
  while (pos < text.size() && parts.size() < 4) {
    if (text[pos] < '0' || text[pos] > '9') {
      ++pos;
      continue;
    }
    unsigned long value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
      value =
          std::min<unsigned long>(value * 10 + static_cast<unsigned long>(text[pos] - '0'), 65534);
      ++pos;
    }
    parts.push_back(value);
  }
  if (parts.empty()) return {};
  while (parts.size() < 4) parts.push_back(0);
  return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
         std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

std::string AliasAsWindowsId(const std::string& pattern) {
  auto colon = pattern.find(':');
  if (colon == std::string::npos) return {};
  const std::string bus = pattern.substr(0, colon);
  const std::string body = pattern.substr(colon + 1);
  if (bus == "pci") {
    auto f = AliasFields(body);
    if (f.count("v") && f.count("d")) {
      std::string id = "pci\\ven_" + Last(f["v"], 4) + "&dev_" + Last(f["d"], 4);
      if (f.count("sv") && f.count("sd")) id += "&subsys_" + Last(f["sd"], 4) + Last(f["sv"], 4);
      return id;
    }
    if (f.count("v")) return "pci\\ven_" + Last(f["v"], 4);
    if (f.count("bc") && f.count("sc")) {
      std::string id = "pci\\cc_" + Last(f["bc"], 2) + Last(f["sc"], 2);
      if (f.count("i")) id += Last(f["i"], 2);
      return id;
    }
    return {};
  }
  if (bus == "usb") {
    auto f = AliasFields(body);
    if (f.count("v") && f.count("p"))
      return "usb\\vid_" + Last(f["v"], 4) + "&pid_" + Last(f["p"], 4);
    for (const char* prefix : {"i", "d"}) {
      const std::string c = std::string(prefix) + "c";
      const std::string s = std::string(prefix) + "sc";
      const std::string p = std::string(prefix) + "p";
      if (!f.count(c)) continue;
      std::string id = "usb\\class_" + Last(f[c], 2);
      if (f.count(s)) {
        id += "&subclass_" + Last(f[s], 2);
        if (f.count(p)) id += "&prot_" + Last(f[p], 2);
      }
      return id;
    }
    return {};
  }
  if (bus == "hid") {
    auto f = AliasFields(body);
    if (f.count("v") && f.count("p"))
      return "hid\\vid_" + Last(f["v"], 4) + "&pid_" + Last(f["p"], 4);
    return "hid_device";
  }
  if (bus == "acpi*" || bus == "acpi") {
    auto end = body.find(':');
    std::string id = body.substr(0, end);
    if (id.empty() || CountWildcards(id)) return {};
    return "*" + AsciiLower(id);
  }
  if (bus == "pnp" && body.size() > 1 && body[0] == 'd') {
    std::string id = body.substr(1);
    while (!id.empty() && id.back() == '*') id.pop_back();
    if (id.empty() || CountWildcards(id)) return {};
    return "*" + AsciiLower(id);
  }
  return {};
}

DriverInfo::DriverInfo(const HwContext& context)
    : m_context(context), m_kernelDate(KernelBuildDate(context.KernelVersion())) {}

std::string DriverInfo::BuiltinModule(const std::string& driver) {
  if (!m_builtin) {
    m_builtin.emplace();
    auto text = ReadFileLimited(m_context.ModulesFolder() + "/modules.builtin", kModuleTableLimit);
    for (const auto& line : Split(text.value_or(""), '\n')) {
      auto slash = line.rfind('/');
      std::string name = line.substr(slash == std::string::npos ? 0 : slash + 1);
      if (name.size() > 3 && name.compare(name.size() - 3, 3, ".ko") == 0)
        m_builtin->insert(name.substr(0, name.size() - 3));
    }
  }
  std::string name = driver;
  for (char& c : name)
    if (c == '-') c = '_';
  return m_builtin->count(name) ? name : std::string();
}

void DriverInfo::Prepare(const std::set<std::string>& modules) {
  if (modules.empty()) return;
  for (const char* table : {"modules.alias", "modules.builtin.alias"}) {
    auto text = ReadFileLimited(m_context.ModulesFolder() + "/" + table, kModuleTableLimit);
    if (!text) continue;
    for (const auto& line : Split(*text, '\n')) {
      // "alias <pattern> <module>"
      if (line.compare(0, 6, "alias ") != 0) continue;
      auto space = line.rfind(' ');
      if (space <= 6) continue;
      std::string module = line.substr(space + 1);
      if (!module.empty() && module.back() == '\r') module.pop_back();
      if (!modules.count(module)) continue;
      m_aliases[module].push_back(line.substr(6, space - 6));
    }
  }
  // Modules built apart from the kernel live outside kernel/ in modules.dep.
  auto dep = ReadFileLimited(m_context.ModulesFolder() + "/modules.dep", kModuleTableLimit);
  for (const auto& line : Split(dep.value_or(""), '\n')) {
    auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string path = line.substr(0, colon);
    if (path.compare(0, 7, "kernel/") == 0) continue;
    auto slash = path.rfind('/');
    std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    name = name.substr(0, name.find(".ko"));
    for (char& c : name)
      if (c == '-') c = '_';
    if (modules.count(name)) m_separateFiles[name] = m_context.ModulesFolder() + "/" + path;
  }
}

ClassKeyValues DriverInfo::For(const DriverBinding& binding,
                               const std::vector<std::string>& modaliases) const {
  ClassKeyValues values;
  if (!binding.Module.empty()) {
    // The alias of the driver's module that matches the device most narrowly.
    if (auto it = m_aliases.find(binding.Module); it != m_aliases.end()) {
      int best = INT_MAX;
      for (const auto& pattern : it->second) {
        const int wildcards = CountWildcards(pattern);
        if (wildcards >= best) continue;
        for (const auto& modalias : modaliases) {
          if (fnmatch(pattern.c_str(), modalias.c_str(), 0) == 0) {
            values.MatchingDeviceId = AliasAsWindowsId(pattern);
            best = wildcards;
            break;
          }
        }
      }
    }
    auto version = ReadAttribute(m_context.Path("sys/module/" + binding.Module + "/version"));
    if (version) values.DriverVersion = FourPartVersion(*version);
  }
  if (values.DriverVersion.empty())
    values.DriverVersion = FourPartVersion(m_context.KernelRelease());
  values.DriverDate = m_kernelDate;
  if (auto it = m_separateFiles.find(binding.Module); it != m_separateFiles.end()) {
    struct stat st;
    values.DriverDate =
        stat(it->second.c_str(), &st) == 0 ? DateOfTime(st.st_mtime) : std::string();
  }
  return values;
}

}  // namespace cv2::hwsense
