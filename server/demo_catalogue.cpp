#include "demo_catalogue.h"

#include <zip.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "text_util.h"
#include "version_order.h"

namespace cv2 {

namespace {
std::string FirstValue(const TreeNode& device, std::string_view label, bool* present = nullptr) {
  const TreeNode* section = device.FindChild(label);
  if (present) *present = section != nullptr;
  return section && !section->Children.empty() ? section->Children.front().Text : std::string();
}

uint32_t Fnv1a(std::string_view text) {
  uint32_t h = 2166136261u;
  for (char c : text) {
    h ^= static_cast<unsigned char>(c);
    h *= 16777619u;
  }
  return h;
}

// A BaseKey from a hardware ID: letters, digits and "_" only, so that it is one folder name.
std::string KeyFor(const std::string& id) {
  std::string key = "DEMO-";
  for (char c : id.substr(0, 60)) key += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return key + "-" + HexUpper(Fnv1a(AsciiLower(id)), 8);
}

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Script values cannot hold "*" or double quotes.
std::string ScriptSafe(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '*' && c != '"' && static_cast<unsigned char>(c) >= 32) out += c;
  return out;
}

std::string HtmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void WriteZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& files,
              const std::string& executable) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) throw Error("cannot create the package " + path);
  for (const auto& [name, content] : files) {
    zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
    const zip_int64_t index =
        source ? zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
      if (source) zip_source_free(source);
      zip_discard(archive);
      throw Error("cannot add " + name + " to the package " + path);
    }
    const zip_uint32_t mode = name == executable ? 0100755 : 0100644;
    zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                     mode << 16);
  }
  if (zip_close(archive) != 0) {
    std::string why = zip_strerror(archive);
    zip_discard(archive);
    throw Error("cannot write the package " + path + ": " + why);
  }
}

std::string SetupScript(const std::string& key, const std::string& version,
                        const std::string& name) {
  return "#!/bin/sh\n"
         "# Corvantis demo package: a stand-in setup program that only records that it ran.\n"
         "log=\"${" +
         std::string(kDemoLogVariable) +
         ":-$(dirname \"$0\")/setup-ran.log}\"\n"
         "printf '%s\\t%s\\t%s\\t%s\\n' \"$(date -u '+%Y-%m-%d %H:%M:%S')\" " +
         ShellQuote(key) + " " + ShellQuote(version) + " " + ShellQuote(name) + " >> \"$log\"\n" +
         "echo " + ShellQuote("Demo setup for " + name + " " + version + " ran.") + "\n";
}
}  // namespace

DemoCatalogue BuildDemoCatalogue(const Tree& hardwareList, const std::string& packageFolder,
                                 const std::string& today) {
  namespace fs = std::filesystem;
  DemoCatalogue demo;
  // The client compares an offer with the version of the first device of the same name.
  std::map<std::string, std::string> firstVersion;
  for (const TreeNode& device : hardwareList.Roots)
    firstVersion.emplace(device.Text, FirstValue(device, "Driver Version"));

  std::set<std::string> seenIds;
  std::vector<std::string> names;
  for (const TreeNode& device : hardwareList.Roots) {
    const TreeNode* hwids = device.FindChild("HardwareID");
    bool hasDriver = false;
    FirstValue(device, "Driver Version", &hasDriver);
    if (!hwids || !hasDriver) continue;
    CatalogueEntry entry;
    for (const TreeNode& id : hwids->Children)
      if (!Trim(id.Text).empty()) entry.Ids.push_back(Trim(id.Text));
    if (entry.Ids.empty() || !seenIds.insert(AsciiLower(entry.Ids.front())).second) continue;

    const std::string version = server::VersionAbove(firstVersion[device.Text]);
    if (!IsSafeFolderName(version)) continue;  // a version the client could not make a folder of
    const std::string key = KeyFor(entry.Ids.front());
    const std::string mfg = FirstValue(device, "Manufacturers");
    TTransRecord& f = entry.Fields;
    f.BaseKey = key;
    f.DeviceName = device.Text;
    f.Description = "Demo driver update for " + device.Text;
    f.Rating = "Recommended";
    f.MFG = mfg.empty() ? "Corvantis Demo" : mfg;
    f.Creation_Date = today;
    f.Updated_Date = today;
    f.Version = version;
    f.GUID = FirstValue(device, "Class GUID");
    f.Region = "All";
    f.Location = "*http**zip\"" + std::string(kPackagesPlaceholder) + "/" + key + "/" + version +
                 "/driver.zip\"";

    const fs::path folder = fs::path(packageFolder) / key / version;
    fs::create_directories(folder);
    WriteZip((folder / "driver.zip").string(),
             {{"setup.sh", SetupScript(key, version, device.Text)},
              {"readme.txt", "Corvantis demo package for " + device.Text + ", version " + version +
                                 ".\r\nIts setup.sh only records that it ran.\r\n"}},
             "setup.sh");
    names.push_back(device.Text);
    demo.Entries.push_back(std::move(entry));
  }
  demo.Devices = demo.Entries.size();

  std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Corvantis demo server</title>"
      "</head>\n<body><h1>Corvantis demo server</h1>\n<p>This server offers demo updates for " +
      std::to_string(names.size()) + " devices:</p>\n<ul>\n";
  for (const std::string& name : names) page += "<li>" + HtmlEscape(name) + "</li>\n";
  page += "</ul>\n</body></html>\n";
  fs::create_directories(packageFolder);
  std::ofstream(fs::path(packageFolder) / "welcome.html", std::ios::binary) << page;

  CatalogueEntry message;
  message.Fields.BaseKey = "DEMO-MESSAGE";
  message.Fields.DeviceName = "Corvantis demo server message";
  message.Fields.Description = "A message of the demo server";
  message.Fields.Version = "1.0";
  message.Fields.Updated_Date = today;
  message.Fields.Location = "*link " + std::string(kPackagesPlaceholder) +
                            "/welcome.html**message*\"" +
                            ScriptSafe("The Corvantis demo server offers updates for " +
                                       std::to_string(names.size()) + " devices of this PC.") +
                            "\"";
  demo.Entries.push_back(std::move(message));

  CatalogueEntry webPage;
  webPage.Fields.BaseKey = "DEMO-WELCOME-PAGE";
  webPage.Fields.DeviceName = "Corvantis demo server welcome page";
  webPage.Fields.Description = "The welcome page of the demo server";
  webPage.Fields.Version = "1.0";
  webPage.Fields.Updated_Date = today;
  webPage.Fields.Location = "*html**caption Corvantis demo server**pos 640,480*\"" +
                            std::string(kPackagesPlaceholder) + "/welcome.html\"";
  demo.Entries.push_back(std::move(webPage));
  return demo;
}

}  // namespace cv2
