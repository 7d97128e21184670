#pragma once
// The download transports: one file of an update by FTP or by HTTP into the entry's folder.
// Both go through the SOCKS proxy that the connect step of the run left in ClientState::Proxy.
#include "client_state.h"
#include "services.h"
#include "update_rec.h"

namespace cv2 {

class Transports : public TransferService {
 public:
  // Fetches UpdateRec.Item by FTP into UpdateRec.Folder. A failure raises an error.
  virtual void FtpDownload(const UpdateRec& rec) = 0;
  // Fetches UpdateRec.Item by HTTP into UpdateRec.Folder. A failure raises an error.
  virtual void HttpDownload(const UpdateRec& rec) = 0;
};

}  // namespace cv2
