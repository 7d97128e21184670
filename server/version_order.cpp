#include "version_order.h"

#include <algorithm>
#include <cctype>

#include "text_util.h"

namespace cv2::server {

namespace {
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Compares two runs of decimal digits of any length by value.
int CompareDigits(std::string_view a, std::string_view b) {
  while (!a.empty() && a.front() == '0') a.remove_prefix(1);
  while (!b.empty() && b.front() == '0') b.remove_prefix(1);
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int CompareComponents(std::string_view a, std::string_view b) {
  size_t da = 0, db = 0;
  while (da < a.size() && IsDigit(a[da])) ++da;
  while (db < b.size() && IsDigit(b[db])) ++db;
  if (int c = CompareDigits(a.substr(0, da), b.substr(0, db)); c != 0) return c;
  int c = a.substr(da).compare(b.substr(db));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), IsDigit);
}
}  // namespace

int CompareVersions(std::string_view a, std::string_view b) {
  const auto pa = Split(a, '.');
  const auto pb = Split(b, '.');
  const size_t n = std::max(pa.size(), pb.size());
  for (size_t i = 0; i < n; ++i) {
    std::string_view ca = i < pa.size() ? std::string_view(pa[i]) : "0";
    std::string_view cb = i < pb.size() ? std::string_view(pb[i]) : "0";
    if (int c = CompareComponents(ca, cb); c != 0) return c;
  }
  return 0;
}

std::string VersionAbove(std::string_view installed) {
  const std::string trimmed = Trim(installed);
  if (trimmed.empty()) return "1.0.0.0";
  auto parts = Split(trimmed, '.');
  if (!std::all_of(parts.begin(), parts.end(), [](const std::string& p) { return AllDigits(p); }))
    return trimmed + ".1";
  for (size_t i = parts.size(); i-- > 0;) {
    std::string& p = parts[i];
    if (std::all_of(p.begin(), p.end(), [](char c) { return c == '9'; })) continue;
    // Increment in place: the width stays, since not every digit is a 9.
    for (size_t k = p.size(); k-- > 0;) {
      if (p[k] == '9') {
        p[k] = '0';
      } else {
        ++p[k];
        break;
      }
    }
    for (size_t j = i + 1; j < parts.size(); ++j) parts[j].assign(1, '0');
    return Join(parts, ".");
  }
  return trimmed + ".1";
}

}  // namespace cv2::server
