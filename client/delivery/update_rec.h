#pragma once
// The working record of the update entry being processed: what the script of the entry has set
// so far, read by the transports and the installer.
#include <cstdint>
#include <string>
#include <vector>

namespace cv2 {

struct UpdateRec {
  std::string Item;      // the current quoted item: a file path or URL, an address, a text
  std::string User;      // FTP user name ("*user ")
  std::string Password;  // FTP password ("*pass ")
  std::string Port;      // port as text ("*port "), FTP only
  int32_t Width = 550;   // browser window ("*pos ")
  int32_t Height = 550;
  std::string Caption;      // browser caption ("*caption ")
  std::string MessageLink;  // address a text message opens ("*link ")
  std::string Msg;          // "*msg ": read by nothing
  std::vector<std::string> Files;  // downloads to install after the script, in order
  std::string BaseKey;
  std::string Folder;       // the entry's download folder
  int32_t PlatformCode = 0; // "*ver": 0 = any platform
};

}  // namespace cv2
