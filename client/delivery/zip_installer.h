#pragma once
// The installer on libzip and QProcess: unpacks a driver package into its download folder, finds
// its setup program in four passes (one folder level down when the top has none) and starts it,
// waiting for its end; opens the folder for the user when nothing is found.
#include <string>

#include "client_state.h"
#include "installer.h"
#include "process_launcher.h"
#include "setup_patterns.h"
#include "zip_extractor.h"

namespace cv2 {

struct InstallerOptions {
  ZipLimits Limits;
  const SetupPatternTable* Patterns = &PlatformSetupPatterns();
};

class ZipInstaller : public Installer {
 public:
  explicit ZipInstaller(ClientState& state, InstallerOptions options = {});

  // The zip component's libraries are linked in: nothing to load.
  void LoadLibraries() override {}
  void UnloadLibraries() override {}

  bool ExtractAndLaunch(const std::string& zipPath, const std::string& folder) override;
  void LaunchAndWait(const std::string& path) override;

  // The setup program of a folder (its top level only), or the empty text.
  std::string FindSetupCandidate(const std::string& folder);

 private:
  ClientState& m_state;
  InstallerOptions m_options;
  ZipExtractor m_extractor;
  ProcessLauncher m_launcher;
};

}  // namespace cv2
