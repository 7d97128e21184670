#pragma once
// The catalogue's text form, read by "catalogue import" and written by "catalogue list": the
// product's tree text (one TAB per level, CR LF or LF line ends). Each top-level line is an
// entry's BaseKey; under it, sections with their values one level deeper:
//
//   DEMO-NET-8086-100E
//   	DeviceName
//   		Intel PRO/1000 MT Network Connection
//   	Version
//   		8.0.1.0
//   	Location
//   		*http**zip"{packages}/DEMO-NET-8086-100E/8.0.1.0/driver.zip"
//   	IDs
//   		PCI\VEN_8086&DEV_100E&SUBSYS_001E8086
//   		PCI\VEN_8086&DEV_100E
//   	brand_name
//   		Dell Inc.
//
// A section is a record field (DeviceName, Description, Rating, MFG, Updated_Date, Version,
// Language, Region, GUID, Location, …; several values are joined with CR LF), "IDs" (the
// hardware and compatible IDs the entry applies to), or a report keyword (alias, brand_name,
// brand_model, branded, mb_model, mb_mfg) whose values the report's line must match.
// Lines starting with "#" at the top level are comments.
#include <string>
#include <string_view>
#include <vector>

#include "catalogue.h"

namespace cv2 {

// Reads entries; raises Error naming the entry and the fault. Every entry is checked with
// CheckEntry.
std::vector<CatalogueEntry> ReadCatalogueText(std::string_view text);
std::string WriteCatalogueText(const std::vector<CatalogueEntry>& entries);

}  // namespace cv2
