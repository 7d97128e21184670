#include "update_processing.h"

#include "download_folder.h"
#include "paths.h"
#include "script_tokenizer.h"
#include "settings.h"
#include "trans_record.h"
#include "unavailable_services.h"
#include "update_history.h"

namespace cv2 {

namespace {

enum class Mode { None, Ftp, Http, Html, Message };

class Processor {
 public:
  Processor(ClientState& state, Transports& transports, Installer& installer, bool downloading)
      : m_state(state),
        m_transports(transports),
        m_installer(installer),
        m_downloading(downloading) {}

  void Run() {
    StatusBoard& status = m_state.Status();
    std::vector<std::string>& runList = m_state.RunList;
    while (!runList.empty() && !m_state.StopRequested) {
      const size_t index = runList.size() - 1;
      const std::string line = runList[index];
      ProcessEntry(line);
      // A run started while an installer was waited for may have emptied the list meanwhile.
      if (index < runList.size() && runList[index] == line)
        runList.erase(runList.begin() + static_cast<std::ptrdiff_t>(index));
      status.SetProgressValue(Bar::InstallBAR, status.Value(Bar::InstallBAR) + 1);
    }
  }

 private:
  bool Setting(const char* name) { return ReadSettingBool(m_state.Store(), name); }

  void ProcessEntry(const std::string& line) {
    m_rec.Item.clear();
    m_rec.User.clear();
    m_rec.Password.clear();
    m_rec.Port.clear();
    m_rec.Caption.clear();
    m_rec.Msg.clear();
    m_rec.Width = 550;
    m_rec.Height = 550;
    m_rec.Files.clear();
    m_confirmed = false;
    m_failed = false;

    TTransRecord record;
    record.SetTransmition(line);
    m_rec.BaseKey = record.BaseKey;

    ScriptTokenizer tokens(record.Location);
    std::string token;
    while (tokens.Next(token)) Apply(record, token);

    Install(record);
    // Downloading off installs again what is there: no new download date.
    UpdateHistory(m_state.Store(), &m_state.ClockPort())
        .RecordUpdate(record, !m_failed, m_downloading);
  }

  void Apply(const TTransRecord& record, const std::string& text) {
    ScriptToken token = ClassifyToken(text);
    switch (token.Kind) {
      case TokenKind::Skipped:
      case TokenKind::Ignored:
        break;
      case TokenKind::Ftp:
        m_mode = Mode::Ftp;
        break;
      case TokenKind::Http:
        m_mode = Mode::Http;
        break;
      case TokenKind::Html:
        m_mode = Mode::Html;
        break;
      case TokenKind::Message:
        m_mode = Mode::Message;
        break;
      case TokenKind::User:
        m_rec.User = token.Value;
        break;
      case TokenKind::Password:
        m_rec.Password = token.Value;
        break;
      case TokenKind::Port:
        m_rec.Port = token.Value;
        break;
      case TokenKind::Pos:
        ParsePos(token.Value, m_rec.Width, m_rec.Height);
        break;
      case TokenKind::Caption:
        m_rec.Caption = token.Value;
        break;
      case TokenKind::Msg:
        m_rec.Msg = token.Value;
        break;
      case TokenKind::Link:
        m_rec.MessageLink = token.Value;
        break;
      case TokenKind::Ver:
        m_rec.PlatformCode = ParsePlatformCode(token.Value);
        break;
      case TokenKind::Run:
        m_runMark = true;
        break;
      case TokenKind::QuotedItem:
        QuotedItem(record, text, token.Value);
        break;
    }
  }

  void QuotedItem(const TTransRecord& record, const std::string& text, const std::string& item) {
    if (m_rec.PlatformCode != 0 && (m_state.PlatformCode & m_rec.PlatformCode) == 0) {
      m_state.AppendLog("Wrong version for this platform");
      return;
    }
    if (text == "\"not_supported\"") {
      m_state.Ui().InformationBox("Corvantis found that " + record.DeviceName +
                                  " is no longer supported by the manufactuer.");
      m_state.AppendLog("Driver doesn't exist for this platform. Consider Upgrading " +
                        record.DeviceName);
      return;
    }
    m_rec.Item = item;
    switch (m_mode) {
      case Mode::Ftp:
      case Mode::Http:
        FileItem(record);
        break;
      case Mode::Html:
        if (m_rec.Item.empty()) break;
        if (Setting("ShowContentConfirmCHK") &&
            !m_state.Ui().Confirm("You have a message! Click OK to read..."))
          break;
        m_state.Ui().ShowWebPage(m_rec.Caption, m_rec.Width, m_rec.Height, m_rec.Item);
        break;
      case Mode::Message:
        if (!m_rec.Item.empty()) m_state.Ui().ShowTextMessage(m_rec.Item, m_rec.MessageLink);
        break;
      case Mode::None:
        break;
    }
  }

  // Names from the server that would put a file outside the update's own folder refuse the item
  // before anything is asked or fetched, as if its transfer had failed.
  bool Refused(const TTransRecord& record, const std::string& fileName) {
    const std::pair<const char*, const std::string*> names[] = {
        {"BaseKey", &record.BaseKey}, {"Version", &record.Version}, {"file name", &fileName}};
    for (const auto& [what, name] : names) {
      if (auto fault = PathNameFault(*name)) {
        m_state.AppendLog("Refused item \"" + m_rec.Item + "\": its " + what + " \"" + *name +
                          "\" " + *fault);
        return true;
      }
    }
    return false;
  }

  void FileItem(const TTransRecord& record) {
    const std::string fileName = ItemFileName(m_rec.Item);
    if (Refused(record, fileName)) {
      m_failed = true;
      m_runMark = false;
      return;
    }
    if (!m_confirmed && m_downloading) {
      if (Setting("ConfirmDownloadCHK"))
        m_confirmed =
            m_state.Ui().Confirm("Click OK to download: \"" + record.DeviceName + "\" update");
      else
        m_confirmed = true;
    }
    if (!m_downloading) m_confirmed = true;
    if (!m_confirmed) {
      m_failed = true;
      return;
    }
    m_rec.Folder = DownloadFolder(record.BaseKey, record.Version);
    if (m_downloading) {
      try {
        if (m_mode == Mode::Ftp)
          m_transports.FtpDownload(m_rec);
        else
          m_transports.HttpDownload(m_rec);
      } catch (const std::exception& e) {
        m_failed = true;
        m_state.AppendLog(std::string("Download failed: ") + e.what());
      }
    }
    if (m_runMark) m_rec.Files.push_back(JoinPath(m_rec.Folder, fileName));
    m_runMark = false;
  }

  void Install(const TTransRecord& record) {
    if (m_rec.Files.empty() || m_state.StopRequested) return;
    if (m_downloading && Setting("InstallUpdatesConfirmCHK") &&
        !m_state.Ui().Confirm("Click OK to install: \"" + record.DeviceName + "\" update"))
      return;
    const std::vector<std::string> files = m_rec.Files;
    for (const std::string& path : files) {
      if (path.ends_with(".zip"))
        m_installer.ExtractAndLaunch(path, m_rec.Folder);
      else
        m_installer.LaunchAndWait(path);
    }
  }

  ClientState& m_state;
  Transports& m_transports;
  Installer& m_installer;
  const bool m_downloading;
  // Carried from one entry to the next for the whole call: the mode, the run mark and, inside
  // the working record, MessageLink and PlatformCode.
  Mode m_mode = Mode::None;
  bool m_runMark = false;
  UpdateRec m_rec;
  // Per entry.
  bool m_confirmed = false;
  bool m_failed = false;
};

}  // namespace

void ProcessRunList(ClientState& state, Transports& transports, Installer& installer,
                    bool downloading) {
  StatusBoard& status = state.Status();
  status.SetCaption(Caption::MessageLBL, "Downloading New Updates");
  status.SetProgress(Bar::InstallBAR, 0, static_cast<int64_t>(state.RunList.size()));
  try {
    Processor(state, transports, installer, downloading).Run();
  } catch (...) {
    CloseProcessing(state);
    throw;
  }
  CloseProcessing(state);
}

}  // namespace cv2
