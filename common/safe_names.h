#pragma once
// Names that come from the server or the network (a BaseKey, a Version, the file name of an item)
// become folder and file names on this machine. Each must be one plain name that stays inside the
// folder it is put in.
#include <optional>
#include <string>
#include <string_view>

namespace cv2 {

// Why a name cannot be one folder or file name, or nullopt when it can: empty, "." or "..",
// holding "..", a path separator ("/" or "\"), a control character, or naming a drive ("C:").
std::optional<std::string> PathNameFault(std::string_view name);

// The file name of an item: the text after its last "/", all of it when it has none.
std::string ItemFileName(const std::string& item);

}  // namespace cv2
