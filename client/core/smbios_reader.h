#pragma once
// Our SMBIOS reader: the entry point gives the version and the size of the structure table; the
// table gives the system (type 1), base board (type 2) and enclosure (type 3) strings the client
// reports. Strings come back as stored, untrimmed; a string or structure that is absent is empty.
#include <optional>
#include <string>
#include <string_view>

#include "client_state.h"

namespace cv2 {

// Reads an entry point ("_SM3_" of SMBIOS 3.x, "_SM_" of 2.1 and later, or the legacy "_DMI_")
// and the structure table it describes. Nullopt when the entry point is none of them or too short
// for its own kind. A malformed table ends the walk at the first bad structure; what was found
// before it stays. IsBranded is left false (the identity service decides it).
std::optional<SmbiosIdentity> ParseSmbios(std::string_view entryPoint, std::string_view table);

// A dump in the layout of `dmidecode --dump-bin`: the entry point at offset 0 and the table at the
// address the entry point names, counted from the start of the file.
std::optional<SmbiosIdentity> ParseSmbiosDump(std::string_view dump);

}  // namespace cv2
