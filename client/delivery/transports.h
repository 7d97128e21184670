#pragma once
// The download transports: one file of an update by FTP or by HTTP into the entry's folder.
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
  // The SOCKS settings of the run, handed over by the connect step.
  virtual void SetProxy(const ProxySettings& proxy) = 0;
};

}  // namespace cv2
