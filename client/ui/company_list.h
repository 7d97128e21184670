#pragma once
// The companies offered by the company selection, in the list's sorted order (duplicates kept).
#include <span>
#include <string_view>

namespace cv2 {

std::span<const char* const> CompanyList();
bool IsKnownCompany(std::string_view name);

}  // namespace cv2
