#pragma once
// A demo catalogue for one machine: for every device of a hardware list that has a driver, an
// update one version above the installed driver ("Driver Version"), with a zip package holding
// a stand-in setup program (setup.sh, which only records that it ran); plus a text message and
// a web page for every report. The packages and the page are written into the package folder.
#include <string>
#include <vector>

#include "catalogue.h"
#include "tree_text.h"

namespace cv2 {

struct DemoCatalogue {
  std::vector<CatalogueEntry> Entries;
  size_t Devices = 0;  // device entries (the rest are the message and the page)
};

// today is the date the entries carry, e.g. "2026-12-11".
DemoCatalogue BuildDemoCatalogue(const Tree& hardwareList, const std::string& packageFolder,
                                 const std::string& today);

// The environment variable naming the file the demo setup programs append to; without it they
// append to "setup-ran.log" beside themselves.
inline constexpr const char* kDemoLogVariable = "CV2_DEMO_LOG";

}  // namespace cv2
