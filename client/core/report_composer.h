#pragma once
// The hardware report: the keyword lines of the machine identity, the system identity record,
// one record per device of the hardware list and one per software item of Software.dat. Every
// record is the text form of an update record built with the one encoder of the composer.
#include <string>

#include "client_state.h"
#include "services.h"
#include "trans_record.h"

namespace cv2 {

// The class identifier under which the system board is listed as a device class.
inline constexpr const char* kSystemBoardClassGuid = "{8783F000-B07F-47BA-BB7C-2D585B5A4147}";
inline constexpr const char* kSoftwareListFile = "Software.dat";

class ReportComposer : public ReportService {
 public:
  // Software.dat is read from the data root at each composition.
  ReportComposer(ClientState& state, std::string dataRoot)
      : m_state(state), m_dataRoot(std::move(dataRoot)) {}

  // Rebuilds ClientState::HardwareReport with its log lines, reads Software.dat into the software
  // tree, stores "last run date" and shows it in DateLBL.
  void ComposeReport() override;

  // The system identity record: DeviceName, MFG, HWID (the eight SMBIOS values, a CR LF after
  // each of the first seven), GUID and OSVersion.
  std::string BuildIdentityRecord();
  // The record of the index-th top-level node of a tree, counting from 1; the empty text when the
  // tree has no such node.
  std::string BuildDeviceRecord(const Tree& tree, int index);

 private:
  void ReadSoftwareList();

  ClientState& m_state;
  std::string m_dataRoot;
  TTransRecord m_encoder;
};

}  // namespace cv2
