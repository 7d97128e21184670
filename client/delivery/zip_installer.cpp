#include "zip_installer.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "paths.h"
#include "text_util.h"

namespace cv2 {

namespace {

struct Listed {
  std::string Name;
  bool Regular = false;
  bool Executable = false;
  bool Folder = false;
};

// The entries of a folder sorted by name without regard to case ("." and ".." left out).
std::vector<Listed> ListFolder(const std::string& folder) {
  std::vector<Listed> entries;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return entries;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    Listed listed{name};
    struct stat info {};
    if (lstat(JoinPath(folder, name).c_str(), &info) == 0) {
      listed.Regular = S_ISREG(info.st_mode);
      listed.Executable = listed.Regular && (info.st_mode & 0111) != 0;
      listed.Folder = S_ISDIR(info.st_mode);
    }
    entries.push_back(std::move(listed));
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end(), [](const Listed& a, const Listed& b) {
    const std::string la = AsciiLower(a.Name), lb = AsciiLower(b.Name);
    return la != lb ? la < lb : a.Name < b.Name;
  });
  return entries;
}

// Hidden by a leading dot, as a hidden attribute would.
bool Hidden(const std::string& name) {
  return !name.empty() && name.front() == '.';
}

}  // namespace

ZipInstaller::ZipInstaller(ClientState& state, InstallerOptions options)
    : m_state(state), m_options(options), m_extractor(options.Limits), m_launcher(state.Ui()) {}

std::string ZipInstaller::FindSetupCandidate(const std::string& folder) {
  m_state.AppendLog("Opened zip, checking for execs at: " + folder + "*.*");
  const std::vector<Listed> entries = ListFolder(folder);
  for (const SetupPass& pass : SetupPasses()) {
    for (const Listed& entry : entries) {
      if (!MatchesSetupKind(*m_options.Patterns, pass.Kind, entry.Name, entry.Executable)) continue;
      const std::string lower = AsciiLower(entry.Name);
      m_state.AppendLog("Checking: " + lower);
      // Only a plain file is chosen: no folder, no link, nothing hidden.
      if (!entry.Regular || Hidden(entry.Name)) continue;
      if (!pass.NamePart.empty() && lower.find(pass.NamePart) == std::string::npos) continue;
      return JoinPath(folder, entry.Name);
    }
  }
  return "";
}

bool ZipInstaller::ExtractAndLaunch(const std::string& zipPath, const std::string& folder) {
  struct stat info {};
  if (stat(zipPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    m_state.Ui().ErrorBox("Error: file not found: " + zipPath);
    return false;
  }
  m_state.Status().SetCaption(Caption::MessageLBL, "Beginning Extract from " + zipPath);
  try {
    m_extractor.Extract(zipPath, folder);
  } catch (const std::exception& error) {
    m_state.AppendLog("Cannot extract " + zipPath + ": " + error.what());
    m_state.Ui().ErrorBox("Error in Extract; Fatal DLL Exception in mainunit");
    return false;
  }

  std::string candidate = FindSetupCandidate(folder);
  if (candidate.empty()) {
    // One level down: the listing starts with the folder's own two entries, as it always did.
    std::vector<Listed> entries = ListFolder(folder);
    entries.insert(entries.begin(), {Listed{"."}, Listed{".."}});
    for (const Listed& entry : entries) {
      m_state.AppendLog("Checking: " + AsciiLower(entry.Name));
      if (!entry.Folder || Hidden(entry.Name)) continue;
      candidate = FindSetupCandidate(JoinPath(folder, entry.Name));
      if (!candidate.empty()) break;
    }
  }
  if (!candidate.empty()) {
    m_state.AppendLog("Automatically decided to launch: " + candidate);
    LaunchAndWait(candidate);
  } else {
    m_state.AppendLog("Didn't find any candidate for setup program, opening the directory.");
    m_state.Ui().OpenWithDesktop(folder);
  }
  return true;
}

void ZipInstaller::LaunchAndWait(const std::string& path) {
  m_launcher.LaunchAndWait(path);
}

}  // namespace cv2
