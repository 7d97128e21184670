#pragma once
// How the items of an update script turn into addresses, ports and file names. Pure functions:
// the transports use them, the tests check them one by one.
#include <optional>
#include <string>
#include <vector>

namespace cv2 {

// The password of an anonymous FTP login: an address of the vendor.
inline constexpr char kAnonymousFtpPassword[] = "cv2client@corvantis.example";
inline constexpr int kDefaultFtpPort = 21;

// The port of an FTP transfer: the script's "*port " value read as a number; 21 when it is empty,
// not a number, or no TCP port at all.
int FtpPortOf(const std::string& portText);

// An FTP item "host/a/b/file": the host up to the first "/", the folders to change into one by
// one, and the file name that is left.
struct FtpItem {
  std::string Host;
  std::vector<std::string> Folders;
  std::string FileName;
};
FtpItem SplitFtpItem(const std::string& item);

// The address an HTTP item is fetched from: items that name their scheme ("http://" or
// "https://", in any letter case) keep it, every other item is fetched as "http://" + item.
std::string HttpUrlOf(const std::string& item);

}  // namespace cv2
