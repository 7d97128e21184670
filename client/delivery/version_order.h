#pragma once
// The order of driver versions. Versions are compared component by component at each ".":
// a component made of digits only compares as a number (leading zeros do not count), any other
// component by the collation of the user's locale, case-sensitive; a missing trailing component
// counts as "0". So "1.10" comes after "1.9", "10.0" after "9.0", and "1.2" equals "1.2.0".
#include <string_view>

namespace cv2 {

// Negative when a comes before b, 0 when they are equal, positive when a comes after b.
int CompareVersions(std::string_view a, std::string_view b);

}  // namespace cv2
