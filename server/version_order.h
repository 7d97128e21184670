#pragma once
// The server's order of driver versions: dotted components compared one by one as numbers
// ("10.0" is above "9.0"), a missing component counting as 0; text after a component's leading
// digits is compared as text. Its own namespace keeps it apart from the client's order, which
// has the same name but other rules.
#include <string>
#include <string_view>

namespace cv2::server {

// Negative, 0 or positive as a sorts below, equal to or above b.
int CompareVersions(std::string_view a, std::string_view b);

// A version above the installed one both in the numeric order and as plain text, so that a
// client comparing texts also takes it for newer: the rightmost component that is not all 9s
// goes up by one and keeps its width, the ones after it become 0 ("5.1.0.9" gives "5.1.1.0");
// when there is no such component ".1" is appended ("9.9" gives "9.9.1"). An empty version
// gives "1.0.0.0".
std::string VersionAbove(std::string_view installed);

}  // namespace cv2::server
