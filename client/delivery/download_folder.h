#pragma once
// Where the files of an update live: data root + "Downloads" + BaseKey + Version. BaseKey,
// Version and the file names all come from the server, so each must be one plain name that
// stays inside the update's own folder.
#include <optional>
#include <string>
#include <string_view>

namespace cv2 {

// Why a name from the server cannot be one folder or file name, or nullopt when it can: empty,
// "." or "..", holding "..", a path separator ("/" or "\"), a control character, or naming a
// drive ("C:").
std::optional<std::string> PathNameFault(std::string_view name);

// The download folder of an update under the data root (cv2::DataRoot()).
std::string DownloadFolder(const std::string& baseKey, const std::string& version);

// The file name of an item: the text after its last "/", all of it when it has none.
std::string ItemFileName(const std::string& item);

}  // namespace cv2
